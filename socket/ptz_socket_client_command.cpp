// PTZSocketClientCommand: the commanding side of the framed command channel.
// Every message gets an id; a synchronous send waits for the reply with that
// id, an asynchronous send registers the command so that its reply, or its
// expiry, reaches the reply dispatcher later on the default main context.
#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/uio.h>
#include <time.h>

#include <atomic>
#include <new>
#include <utility>

#include "common/ptz_guard.h"
#include "common/ptz_log.h"
#include "common/ptz_time_scale.h"
#include "ptz_socket_client.h"
#include "socket/ptz_socket_client_private.h"
#include "socket/ptz_socket_private.h"

namespace {

// A reply that a synchronous wait for another command read, waiting to be
// delivered from the default main context.
struct SetAside {
  GList link;  // in set_aside
  PTZSocketPendingCommand *command;
  gsize length;
  guint8 message[];
};

struct PTZSocketClientCommandPrivate {
  velmora::Mutex list_lock;  // the record's list_lock
  velmora::client::PendingIndex *pending VELMORA_PT_GUARDED_BY(list_lock);
  // Replies to be delivered from the default main context by an idle
  // callback, in the order they came; they came before anything still in
  // the buffer, so while any waits, what follows is set aside too.
  GQueue set_aside VELMORA_GUARDED_BY(list_lock);
  bool delivery_armed VELMORA_GUARDED_BY(list_lock);  // the idle callback is attached
  // Guarded by the I/O lock. The receive buffer is the instance's `buffer`:
  // bytes [taken, received) are not yet handed on, the message in front
  // first (its total length in `length` once its header is in); one read
  // brings every message waiting, as far as there is room.
  gsize taken;
};

}  // namespace

G_DEFINE_TYPE_WITH_PRIVATE(PTZSocketClientCommand, ptz_socket_client_command, PTZ_TYPE_SOCKET_CLIENT)

namespace {

constexpr gsize kMessageMax = 2560;
constexpr gsize kHeaderSize = 8;
constexpr gsize kLengthFieldSize = 4;
constexpr gsize kPayloadMax = kMessageMax - kHeaderSize;
constexpr guint64 kSyncTimeoutMs = 10000;
constexpr guint64 kExpiryMs = 360000;
constexpr int kDrainReads = 11;
// The receive buffer: room for several messages, so one read takes every
// reply waiting in the socket.
constexpr gsize kReadAhead = 4 * kMessageMax;

// The names the client logs under.
constexpr char kReadFd[] = "ptz_socket_client_command_read_fd";
constexpr char kCmdTimeout[] = "ptz_socket_client_command_cmd_timeout";
constexpr char kAsyncSend[] = "ptz_socket_client_command_async_send";
constexpr char kSyncSend[] = "ptz_socket_client_command_sync_send";

namespace client = velmora::client;
using velmora::Mutex;
using velmora::MutexLock;

PTZSocketClient *base(PTZSocketClientCommand *self) { return PTZ_SOCKET_CLIENT(self); }

// ---- time -------------------------------------------------------------------

gint64 monotonic_now_us() {
  timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
    PTZ_LOG_ERR("clock_gettime failed %m");
    return 0;
  }
  return gint64(now.tv_sec) * G_USEC_PER_SEC + now.tv_nsec / 1000;
}

gint64 deadline_us(const PTZSocketPendingCommand *command) {
  return command->deadline_seconds * G_USEC_PER_SEC + command->deadline_nanoseconds / 1000;
}

// ---- locks and pending commands ---------------------------------------------

PTZSocketClientCommandPrivate *priv(PTZSocketClientCommand *self) {
  return static_cast<PTZSocketClientCommandPrivate *>(ptz_socket_client_command_get_instance_private(self));
}

Mutex &list_lock(PTZSocketClientCommand *self) VELMORA_RETURN_CAPABILITY(priv(self)->list_lock) {
  return priv(self)->list_lock;
}

Mutex &io_lock(PTZSocketClientCommand *self) VELMORA_RETURN_CAPABILITY(client::io_lock(base(self))) {
  return client::io_lock(base(self));
}

velmora::client::PendingIndex &pending_of(PTZSocketClientCommand *self) VELMORA_REQUIRES(list_lock(self)) {
  return *priv(self)->pending;
}

gboolean ptz_socket_client_command_cmd_timeout(gpointer data);

void arm_expiry(PTZSocketClientCommand *self, gint64 now_us) VELMORA_REQUIRES(list_lock(self)) {
  auto *head = static_cast<PTZSocketPendingCommand *>(self->pending->data);
  gint64 wait_us = MAX(deadline_us(head) - now_us, 0);
  GSource *timer = g_timeout_source_new(guint((wait_us + 999) / 1000));
  g_source_set_callback(timer, ptz_socket_client_command_cmd_timeout, self, nullptr);
  self->expiry_timer = g_source_attach(timer, base(self)->context);
  g_source_unref(timer);
}

// ---- expiry -------------------------------------------------------------------

// Reports every command whose deadline has passed. The dispatcher runs with
// no lock held, so it may send again on this client (a retry).
gboolean ptz_socket_client_command_cmd_timeout(gpointer data) {
  auto *self = static_cast<PTZSocketClientCommand *>(data);
  GList *due = nullptr;  // newest first
  {
    MutexLock lock(list_lock(self));
    self->expiry_timer = 0;
    gint64 now = monotonic_now_us();
    while (GList *head = self->pending) {
      auto *command = static_cast<PTZSocketPendingCommand *>(head->data);
      if (command == nullptr) {
        PTZ_LOG_ERR("%s: Entry without data", kCmdTimeout);
        pending_of(self).remove(head);
        continue;
      }
      if (deadline_us(command) > now) break;
      pending_of(self).remove(head);
      due = g_list_prepend(due, command);
    }
    if (self->pending != nullptr) arm_expiry(self, now);
  }
  due = g_list_reverse(due);
  for (GList *l = due; l != nullptr; l = l->next)
    client::report_expired(base(self), static_cast<PTZSocketPendingCommand *>(l->data));
  g_list_free(due);
  return G_SOURCE_REMOVE;
}

// ---- receiving ------------------------------------------------------------------

guint32 message_id(const guint8 *message) {
  guint32 id;
  memcpy(&id, message + kLengthFieldSize, sizeof id);
  return id;
}

// All below are called with the I/O lock held unless they say otherwise.

void reset_reader(PTZSocketClientCommand *self) VELMORA_REQUIRES(io_lock(self)) {
  self->received = 0;
  self->length = 0;
  priv(self)->taken = 0;
}

const guint8 *front(PTZSocketClientCommand *self) VELMORA_REQUIRES(io_lock(self)) {
  return self->buffer + priv(self)->taken;
}

// The total length of the complete message in front of the buffer; 0 while
// it is incomplete, -1 when its length field cannot frame a message: the
// connection is then over.
gssize front_message(PTZSocketClientCommand *self) VELMORA_REQUIRES(io_lock(self)) {
  const gsize held = self->received - priv(self)->taken;
  if (self->length == 0) {
    if (held < kLengthFieldSize) return 0;
    gint32 length;
    memcpy(&length, front(self), sizeof length);
    // A length the buffer cannot hold, or one shorter than the header, leaves
    // no way to find the next message.
    if (length > gint32(kMessageMax) || length < gint32(kHeaderSize)) return -1;
    self->length = gsize(length);
  }
  return held >= self->length ? gssize(self->length) : 0;
}

void log_broken_front(PTZSocketClientCommand *self) VELMORA_REQUIRES(io_lock(self)) {
  gint32 length;
  memcpy(&length, front(self), sizeof length);
  if (length > gint32(kMessageMax) || length < 0)
    PTZ_LOG_ERR("%s: Received a message larger than max (%u): len=%lu", kReadFd, guint(kMessageMax),
                gulong(guint32(length)));
  else
    PTZ_LOG_ERR("%s: Received a message shorter than its header: len=%d", kReadFd, length);
}

// Hands the message in front on (it has been copied or dropped).
void consume_front(PTZSocketClientCommand *self) VELMORA_REQUIRES(io_lock(self)) {
  priv(self)->taken += self->length;
  self->length = 0;
  if (priv(self)->taken == self->received) reset_reader(self);
}

// One read of whatever the socket holds, as far as the buffer has room,
// behind what it holds already. Returns the bytes read (0 when nothing was
// there) or -1 with *lost set: end of stream, peer gone or a hard error.
int fill(PTZSocketClientCommand *self, int fd, bool *lost) VELMORA_REQUIRES(io_lock(self)) {
  *lost = false;
  if (fd < 0) return -1;
  PTZSocketClientCommandPrivate *p = priv(self);
  if (p->taken > 0) {
    memmove(self->buffer, self->buffer + p->taken, self->received - p->taken);
    self->received -= p->taken;
    p->taken = 0;
  }
  if (self->received == kReadAhead) return 0;  // complete messages wait to be taken first
  ssize_t n = client::read_now(fd, self->buffer + self->received, kReadAhead - self->received);
  if (n < 0) {
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) return 0;
    if (!client::peer_gone(error))
      PTZ_LOG_WARNING("%s: Unexpected error reading %s: %s", kReadFd, self->length == 0 ? "header" : "body",
                      g_strerror(error));
    *lost = true;
    return -1;
  }
  if (n == 0) {
    *lost = true;
    return -1;
  }
  self->received += gsize(n);
  return int(n);
}

// Hands a reply to the reply dispatcher and releases its command. No lock
// may be held.
void dispatch(PTZSocketClientCommand *self, PTZSocketPendingCommand *command, guint8 *message, gsize length)
    VELMORA_EXCLUDES(io_lock(self), list_lock(self)) {
  message[length] = '\0';  // the buffers have room: replies read as text stay in bounds
  PTZSocketClient *client = base(self);
  if (client->callback != nullptr)
    client->callback(command->user_data, reinterpret_cast<const gchar *>(message + kHeaderSize), length - kHeaderSize);
  g_free(command);
}

gboolean deliver_later(gpointer data);

// Sets the message in front of the buffer aside for `command`, to be
// delivered from the default main context. Called with both locks held.
void set_aside(PTZSocketClientCommand *self, PTZSocketPendingCommand *command)
    VELMORA_REQUIRES(io_lock(self), list_lock(self)) {
  auto *aside = static_cast<SetAside *>(g_malloc(sizeof(SetAside) + self->length + 1));
  aside->link = {aside, nullptr, nullptr};
  aside->command = command;
  aside->length = self->length;
  memcpy(aside->message, front(self), self->length);
  g_queue_push_tail_link(&priv(self)->set_aside, &aside->link);
  if (priv(self)->delivery_armed) return;
  priv(self)->delivery_armed = true;
  g_object_ref(self);
  GSource *idle = g_idle_source_new();
  g_source_set_callback(idle, deliver_later, self, nullptr);
  g_source_attach(idle, base(self)->context);
  g_source_unref(idle);
}

// Takes the message in front of the buffer with the command it answers
// (NULL when none waits); when replies are set aside already, it is set
// aside behind them (and NULL returned). Takes the list lock.
PTZSocketPendingCommand *take_front(PTZSocketClientCommand *self, bool set_aside_always)
    VELMORA_REQUIRES(io_lock(self)) {
  MutexLock lock(list_lock(self));
  GList *link = pending_of(self).find(message_id(front(self)));
  if (link == nullptr) return nullptr;
  auto *command = static_cast<PTZSocketPendingCommand *>(link->data);
  pending_of(self).remove(link);
  if (!set_aside_always && g_queue_is_empty(&priv(self)->set_aside)) return command;
  set_aside(self, command);
  return nullptr;
}

// Sets aside every complete message in the buffer that a command awaits and
// drops the others, up to a broken length field if there is one.
void set_aside_complete(PTZSocketClientCommand *self) VELMORA_REQUIRES(io_lock(self)) {
  for (; front_message(self) > 0; consume_front(self)) take_front(self, true);
}

// A reply set aside, taken off its queue; NULL when none waits. Takes the
// list lock only.
SetAside *pop_set_aside(PTZSocketClientCommand *self) {
  MutexLock lock(list_lock(self));
  GList *link = g_queue_pop_head_link(&priv(self)->set_aside);
  return link != nullptr ? static_cast<SetAside *>(link->data) : nullptr;
}

// The next complete message in the buffer that a command awaits, copied to
// `out` (room for the largest message and a NUL), with its command;
// messages nobody awaits are dropped, and messages behind replies set aside
// are set aside too. False when there is none; *lost when a broken length
// field was met (logged). Called with the I/O lock held.
bool next_in_buffer(PTZSocketClientCommand *self, guint8 *out, gsize *length, PTZSocketPendingCommand **command,
                    bool *lost) VELMORA_REQUIRES(io_lock(self)) {
  for (gssize message; (message = front_message(self)) != 0; consume_front(self)) {
    if (message < 0) {
      log_broken_front(self);
      *lost = true;
      return false;
    }
    if ((*command = take_front(self, false)) == nullptr) continue;
    *length = gsize(message);
    memcpy(out, front(self), *length);
    consume_front(self);
    return true;
  }
  return false;
}

// Delivers the replies read so far, in the order they came: on the thread
// that iterates the default main context those set aside first, then those
// in the buffer. Called with no lock held.
void deliver_ready(PTZSocketClientCommand *self) VELMORA_EXCLUDES(io_lock(self), list_lock(self)) {
  const bool on_context = g_main_context_is_owner(base(self)->context);
  guint8 message[kMessageMax + 1];
  for (;;) {
    if (on_context) {
      if (SetAside *aside = pop_set_aside(self)) {
        dispatch(self, aside->command, aside->message, aside->length);
        g_free(aside);
        continue;
      }
    }
    PTZSocketPendingCommand *command = nullptr;
    gsize length = 0;
    {
      MutexLock lock(io_lock(self));
      bool lost = false;
      bool next = next_in_buffer(self, message, &length, &command, &lost);
      if (lost) client::connection_lost(base(self));
      if (!next) return;
    }
    dispatch(self, command, message, length);
  }
}

// The idle callback: delivers the replies set aside. Never waits for the
// I/O lock, which a synchronous send holds while it waits.
gboolean deliver_later(gpointer data) {
  auto *self = static_cast<PTZSocketClientCommand *>(data);
  {
    MutexLock lock(list_lock(self));
    priv(self)->delivery_armed = false;
  }
  while (SetAside *aside = pop_set_aside(self)) {
    dispatch(self, aside->command, aside->message, aside->length);
    g_free(aside);
  }
  g_object_unref(self);
  return G_SOURCE_REMOVE;
}

// The class read: one read of whatever waits (as far as the buffer has
// room), then every complete message is delivered, in order. When a buffer
// is given, up to `size` bytes (header included) of the first message that
// this read completed are copied into it and their count is the result; 0
// when none completed, -1 when the connection is over.
int ptz_socket_client_command_read(PTZSocket *socket, int fd, void *buffer, gsize size, int) {
  auto *self = PTZ_SOCKET_CLIENT_COMMAND(socket);
  int result = 0;
  {
    MutexLock lock(io_lock(self));
    // A descriptor read before the connection was found lost may already
    // have been closed and reused.
    if (fd != client::io_fd(base(self))) return -1;
    bool lost = false;
    if (fill(self, fd, &lost) < 0) {
      if (lost) client::connection_lost(base(self));
      return -1;
    }
    gssize length = front_message(self);
    if (buffer != nullptr && length > 0) {
      result = int(MIN(gsize(length), size));
      memcpy(buffer, front(self), gsize(result));
    }
  }
  deliver_ready(self);
  return result;
}

// Whether a command awaits a reply: only then can a reply waiting in the
// socket reach anybody.
bool awaiting_replies(PTZSocketClientCommand *self) {
  MutexLock lock(list_lock(self));
  return self->pending != nullptr;
}

// Replies already waiting in the socket reach their commands before a new
// exchange starts. The library's own read takes them all with one read.
void drain(PTZSocketClientCommand *self) {
  if (!awaiting_replies(self)) return;
  PTZSocket *socket = PTZ_SOCKET(self);
  auto read = PTZ_SOCKET_GET_CLASS(socket)->read;
  const int reads = read == ptz_socket_client_command_read ? 1 : kDrainReads;
  guint8 byte;
  for (int i = 0; i < reads; i++)
    if (read(socket, client::io_fd(base(self)), &byte, 1, 0) <= 0) break;
}

// Called with the I/O lock held, from connection_lost. Replies already
// complete in the buffer still reach their commands (from the main
// context); a partial message is forgotten.
GList *take_orphans(PTZSocketClient *client) VELMORA_REQUIRES(client::io_lock(client)) {
  auto *self = PTZ_SOCKET_CLIENT_COMMAND(client);
  io_lock(self).assert_held();
  set_aside_complete(self);
  reset_reader(self);
  MutexLock lock(list_lock(self));
  return pending_of(self).take_all();
}

// The synchronous wait's part of the buffer, after a read: complete
// messages are taken in order; the reply with `id` is copied to the caller,
// the others that commands await are set aside for the main context. True
// once the reply is in; *lost when a broken length field was met (logged).
bool take_sync_reply(PTZSocketClientCommand *self, guint32 id, void *reply, gsize *reply_length, bool *lost)
    VELMORA_REQUIRES(io_lock(self)) {
  bool done = false;
  for (gssize message; (message = front_message(self)) != 0; consume_front(self)) {
    if (message < 0) {
      log_broken_front(self);
      *lost = true;
      break;
    }
    if (!done && message_id(front(self)) == id) {
      const gsize reply_bytes = gsize(message) - kHeaderSize;
      if (reply_length != nullptr) *reply_length = reply_bytes;
      if (reply != nullptr) memcpy(reply, front(self) + kHeaderSize, reply_bytes);
      done = true;
    } else {
      take_front(self, true);
    }
  }
  return done;
}

// ---- sending ------------------------------------------------------------------

enum class Sent {
  kAll,
  kHeaderFailed,
  kBodyFailed
};

struct Frame {
  guint8 header[kHeaderSize];
  const void *payload;
  gsize length;
};

Frame make_frame(guint32 id, const void *payload, gsize length) {
  Frame frame;
  guint32 total = guint32(length + kHeaderSize);
  memcpy(frame.header, &total, sizeof total);
  memcpy(frame.header + kLengthFieldSize, &id, sizeof id);
  frame.payload = payload;
  frame.length = length;
  return frame;
}

// Writes one frame, with the I/O lock held. With the library's own write it
// goes out as one vectored write (one wake-up of the peer); an overridden
// write sees the header and the payload as two calls. *error is errno of the
// failure.
Sent send_frame(PTZSocketClientCommand *self, int fd, const Frame &frame, int *error) VELMORA_REQUIRES(io_lock(self)) {
  PTZSocket *socket = PTZ_SOCKET(self);
  auto *klass = PTZ_SOCKET_GET_CLASS(socket);
  auto *socket_class = static_cast<PTZSocketClass *>(g_type_class_peek(PTZ_TYPE_SOCKET));
  if (klass->write == socket_class->write) {
    iovec pieces[2] = {{const_cast<guint8 *>(frame.header), kHeaderSize},
                       {const_cast<void *>(frame.payload), frame.length}};
    int n = velmora::socket::write_vectored(socket, fd, pieces, frame.length > 0 ? 2 : 1, client::kRawSendTimeoutMs);
    if (n >= 0 && gsize(n) == kHeaderSize + frame.length) return Sent::kAll;
    *error = errno;
    return n < int(kHeaderSize) ? Sent::kHeaderFailed : Sent::kBodyFailed;
  }
  int n = klass->write(socket, fd, frame.header, kHeaderSize, client::kRawSendTimeoutMs);
  if (n != int(kHeaderSize)) {
    *error = errno;
    return Sent::kHeaderFailed;
  }
  // A bare header is a complete message: there is no payload to write.
  if (frame.length == 0) return Sent::kAll;
  n = klass->write(socket, fd, frame.payload, frame.length, client::kRawSendTimeoutMs);
  if (n < 0 || gsize(n) != frame.length) {
    *error = errno;
    return Sent::kBodyFailed;
  }
  return Sent::kAll;
}

guint32 draw_id(PTZSocketClientCommand *self) {
  return std::atomic_ref<guint32>(self->next_id).fetch_add(1, std::memory_order_relaxed);
}

bool payload_fits(const char *function, gsize length) {
  if (length <= kPayloadMax) return true;
  PTZ_LOG_ERR("%s: Payload of %lu bytes exceeds the largest message (%u)", function, gulong(length),
              guint(kPayloadMax));
  return false;
}

// Called with the I/O lock held, before the command's bytes are written, so
// a reply read right after the write finds it.
PTZSocketPendingCommand *register_pending(PTZSocketClientCommand *self, gpointer user_data, guint32 id)
    VELMORA_REQUIRES(io_lock(self)) {
  auto *command = g_new0(PTZSocketPendingCommand, 1);
  command->user_data = user_data;
  command->id = id;
  MutexLock lock(list_lock(self));
  gint64 now = monotonic_now_us();
  gint64 deadline = now + gint64(velmora::scaled_ms(kExpiryMs)) * 1000;
  command->deadline_seconds = deadline / G_USEC_PER_SEC;
  command->deadline_nanoseconds = glong(deadline % G_USEC_PER_SEC) * 1000;
  pending_of(self).append(command);
  if (self->expiry_timer == 0) arm_expiry(self, now);
  return command;
}

// Takes back a command whose bytes could not be written; false when the
// expiry already reported it (the dispatcher owns its data then, and may have
// freed it: only its address is compared). No other command can be added
// meanwhile: the caller holds the I/O lock.
bool withdraw_pending(PTZSocketClientCommand *self, PTZSocketPendingCommand *command, guint32 id)
    VELMORA_REQUIRES(io_lock(self)) {
  MutexLock lock(list_lock(self));
  // Commands behind the oldest with this id (ids wrap) are looked at too.
  for (GList *link = pending_of(self).find(id); link != nullptr; link = link->next) {
    if (link->data != command) continue;
    pending_of(self).remove(link);
    g_free(command);
    return true;
  }
  return false;
}

// The synchronous send's write: true when the whole frame went out, else
// the failure has been applied (watching paused, a peer that is gone marks
// the connection lost).
bool send_command(PTZSocketClientCommand *self, int fd, const Frame &frame) VELMORA_REQUIRES(io_lock(self)) {
  int error = 0;
  if (send_frame(self, fd, frame, &error) == Sent::kAll) return true;
  client::write_failed(base(self), error);
  return false;
}

// The synchronous send's wait: reads `fd` for up to 10 seconds until the
// reply with `id` is in, copied to the caller; replies to other commands
// that come meanwhile are set aside for the main context. False (logged)
// when the time runs out, the wait fails or the connection is lost.
bool await_reply(PTZSocketClientCommand *self, int fd, guint32 id, void *reply, gsize *reply_length)
    VELMORA_REQUIRES(io_lock(self)) {
  const gint64 limit_ms = gint64(velmora::scaled_ms(kSyncTimeoutMs));
  const gint64 start_us = monotonic_now_us();
  gint64 left_ms = limit_ms;
  bool done = false;
  // poll, unlike select, has no limit on the descriptor's number.
  while (!done) {
    pollfd watched = {fd, POLLIN, 0};
    int ready = poll(&watched, 1, int(left_ms));
    if (ready < 0 && errno != EINTR) {
      PTZ_LOG_WARNING("%s: Error waiting for sync reply from socket! %m", kSyncSend);
      break;
    }
    if (ready > 0) {
      // Whatever the read brought is taken, the reply and replies for other
      // commands, also when the connection turns out to be over.
      bool lost = false;
      fill(self, fd, &lost);
      done = take_sync_reply(self, id, reply, reply_length, &lost);
      if (lost) client::connection_lost(base(self));
      if (done || lost) break;
    }
    left_ms = limit_ms - (monotonic_now_us() - start_us) / 1000;
    if (left_ms <= 0) break;
  }
  if (!done) PTZ_LOG_WARNING("%s: Timeout waiting for response to message %d!", kSyncSend, int(id));
  return done;
}

void command_client_finalize(GObject *object) {
  auto *self = PTZ_SOCKET_CLIENT_COMMAND(object);
  if (self->expiry_timer != 0) {
    GSource *timer = g_main_context_find_source_by_id(base(self)->context, self->expiry_timer);
    if (timer != nullptr) g_source_destroy(timer);
    self->expiry_timer = 0;
  }
  GList *left;
  // Replies set aside keep the client alive until they are delivered; only
  // a main context that never ran again leaves any.
  GQueue aside = G_QUEUE_INIT;
  {
    MutexLock lock(list_lock(self));
    left = pending_of(self).take_all();
    std::swap(aside, priv(self)->set_aside);
    delete std::exchange(priv(self)->pending, nullptr);
  }
  for (GList *l = left; l != nullptr; l = l->next) {
    auto *command = static_cast<PTZSocketPendingCommand *>(l->data);
    if (command != nullptr && self->free_callback != nullptr) self->free_callback(command->user_data, self->free_data);
    g_free(command);
  }
  g_list_free(left);
  while (GList *link = g_queue_pop_head_link(&aside)) {
    auto *reply = static_cast<SetAside *>(link->data);
    if (self->free_callback != nullptr) self->free_callback(reply->command->user_data, self->free_data);
    g_free(reply->command);
    g_free(reply);
  }
  g_free(self->buffer);
  self->buffer = nullptr;
  client::set_command_hooks(base(self), nullptr, nullptr);
  g_mutex_clear(&self->list_lock);
  g_mutex_clear(&self->io_lock);
  G_OBJECT_CLASS(ptz_socket_client_command_parent_class)->finalize(object);
}

}  // namespace

static void ptz_socket_client_command_class_init(PTZSocketClientCommandClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = command_client_finalize;
  PTZ_SOCKET_CLASS(klass)->read = ptz_socket_client_command_read;
}

static void ptz_socket_client_command_init(PTZSocketClientCommand *self) {
  self->buffer = static_cast<guint8 *>(g_malloc0(kReadAhead));
  g_mutex_init(&self->list_lock);
  g_mutex_init(&self->io_lock);
  new (&priv(self)->list_lock) Mutex(&self->list_lock);
  client::set_command_hooks(base(self), &self->io_lock, take_orphans);
  MutexLock lock(list_lock(self));
  priv(self)->pending = new client::PendingIndex(&self->pending);
  g_queue_init(&priv(self)->set_aside);
}

namespace velmora::client {

PendingIndex::PendingIndex(GList **list) : list_(list), by_id_(g_hash_table_new(g_direct_hash, g_direct_equal)) {}

PendingIndex::~PendingIndex() { g_hash_table_destroy(by_id_); }

void PendingIndex::append(PTZSocketPendingCommand *command) {
  GList *link = g_list_alloc();
  link->data = command;
  link->prev = tail_;
  if (tail_ != nullptr)
    tail_->next = link;
  else
    *list_ = link;
  tail_ = link;
  gpointer key = GUINT_TO_POINTER(command->id);
  if (g_hash_table_contains(by_id_, key))
    duplicates_++;
  else
    g_hash_table_insert(by_id_, key, link);
}

GList *PendingIndex::find(guint32 id) const {
  return static_cast<GList *>(g_hash_table_lookup(by_id_, GUINT_TO_POINTER(id)));
}

void PendingIndex::remove(GList *link) {
  if (link == tail_) tail_ = link->prev;
  if (auto *command = static_cast<PTZSocketPendingCommand *>(link->data)) {
    gpointer key = GUINT_TO_POINTER(command->id);
    if (g_hash_table_lookup(by_id_, key) != link) {
      duplicates_--;
    } else {
      // The next command with the same id, if any, takes its place.
      GList *same = nullptr;
      for (GList *l = link->next; duplicates_ > 0 && l != nullptr && same == nullptr; l = l->next)
        if (l->data != nullptr && static_cast<PTZSocketPendingCommand *>(l->data)->id == command->id) same = l;
      if (same != nullptr) {
        duplicates_--;
        g_hash_table_insert(by_id_, key, same);
      } else {
        g_hash_table_remove(by_id_, key);
      }
    }
  }
  *list_ = g_list_delete_link(*list_, link);
}

GList *PendingIndex::take_all() {
  GList *all = std::exchange(*list_, nullptr);
  tail_ = nullptr;
  duplicates_ = 0;
  g_hash_table_remove_all(by_id_);
  return all;
}

}  // namespace velmora::client

extern "C" {

PTZSocketClientCommand *ptz_socket_client_command_new(const gchar *socket, int fd, int socket_type) {
  return PTZ_SOCKET_CLIENT_COMMAND(ptz_socket_client_new(PTZ_TYPE_SOCKET_CLIENT_COMMAND, socket, fd, socket_type));
}

void ptz_socket_client_command_register_free_callback(PTZSocketClientCommand *client,
                                                      PTZSocketClientFreeFunc free_callback, gpointer free_data) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_SOCKET_CLIENT_COMMAND(client));
  client->free_data = free_data;
  client->free_callback = free_callback;
}

gboolean ptz_socket_client_command_async_send(PTZSocketClientCommand *self, const void *payload, gsize length,
                                              gpointer user_data) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_SOCKET_CLIENT_COMMAND(self), FALSE);
  PTZ_RETURN_VAL_IF_FAIL(payload != NULL || length == 0, FALSE);
  if (!payload_fits(kAsyncSend, length)) return FALSE;
  drain(self);
  guint32 id = draw_id(self);
  Frame frame = make_frame(id, payload, length);
  MutexLock lock(io_lock(self));
  PTZSocketPendingCommand *command = user_data != nullptr ? register_pending(self, user_data, id) : nullptr;
  int error = 0;
  Sent sent = send_frame(self, client::io_fd(base(self)), frame, &error);
  if (sent == Sent::kAll) return TRUE;
  if (sent == Sent::kBodyFailed) PTZ_LOG_ERR("%s: Failed to send body", kAsyncSend);
  PTZ_LOG_INFO("%s: Failed to async_send id=%d", kAsyncSend, int(id));
  bool withdrawn = command == nullptr || withdraw_pending(self, command, id);
  client::write_failed(base(self), error);
  // A command the expiry already handed to the dispatcher counts as sent, so
  // its data is never released twice.
  return withdrawn ? FALSE : TRUE;
}

gboolean ptz_socket_client_command_sync_send(PTZSocketClientCommand *self, const void *payload, gsize length,
                                             void *reply, gsize *reply_length) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_SOCKET_CLIENT_COMMAND(self), FALSE);
  PTZ_RETURN_VAL_IF_FAIL(payload != NULL || length == 0, FALSE);
  if (!payload_fits(kSyncSend, length)) return FALSE;
  guint32 id = draw_id(self);
  Frame frame = make_frame(id, payload, length);
  drain(self);

  MutexLock lock(io_lock(self));
  // The main loop must not take the reply. Holding the source costs nothing
  // unless a main loop on another thread finds the descriptor readable.
  GSource *source = base(self)->source;
  velmora::socket::source_hold(source);
  const int fd = client::io_fd(base(self));
  const bool done = send_command(self, fd, frame) && await_reply(self, fd, id, reply, reply_length);
  velmora::socket::source_release(source, client::io_fd(base(self)) >= 0);
  return done ? TRUE : FALSE;
}

}  // extern "C"
