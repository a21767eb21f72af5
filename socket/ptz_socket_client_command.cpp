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
#include <utility>

#include "common/ptz_log.h"
#include "common/ptz_time_scale.h"
#include "ptz_socket_client.h"
#include "socket/ptz_socket_client_private.h"
#include "socket/ptz_socket_private.h"

namespace {
struct PTZSocketClientCommandPrivate {
  velmora::client::PendingIndex *pending;
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

namespace client = velmora::client;

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

// ---- pending commands (all called with the list lock held) ------------------

velmora::client::PendingIndex &pending_of(PTZSocketClientCommand *self) {
  return *static_cast<PTZSocketClientCommandPrivate *>(ptz_socket_client_command_get_instance_private(self))->pending;
}

gboolean ptz_socket_client_command_cmd_timeout(gpointer data);

void arm_expiry(PTZSocketClientCommand *self, gint64 now_us) {
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
    client::Lock lock(&self->list_lock);
    self->expiry_timer = 0;
    gint64 now = monotonic_now_us();
    while (GList *head = self->pending) {
      auto *command = static_cast<PTZSocketPendingCommand *>(head->data);
      if (command == nullptr) {
        PTZ_LOG_ERR("%s: Entry without data", __func__);
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

void reset_reader(PTZSocketClientCommand *self) {
  self->received = 0;
  self->length = 0;
}

bool message_complete(const PTZSocketClientCommand *self) {
  return self->length != 0 && self->received >= self->length;
}

guint32 message_id(const guint8 *message) {
  guint32 id;
  memcpy(&id, message + kLengthFieldSize, sizeof id);
  return id;
}

// A failed read: nothing to read yet gives 0; anything else ends the
// connection (-1 with *lost set).
int read_failed(int error, const char *part, bool *lost) {
  if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) return 0;
  if (!client::peer_gone(error))
    PTZ_LOG_WARNING("%s: Unexpected error reading %s: %s", "ptz_socket_client_command_read_fd", part,
                    g_strerror(error));
  *lost = true;
  return -1;
}

// Reads at most one header piece and one body piece of the incoming message.
// Returns the bytes read (0 when nothing was available) or -1; *lost tells
// whether the connection is over (end of stream, peer gone, broken frame).
// Called with the I/O lock held.
int ptz_socket_client_command_read_fd(PTZSocketClientCommand *self, int fd, bool *lost) {
  *lost = false;
  if (fd < 0) return -1;
  int result = 0;
  if (self->received < kLengthFieldSize) {
    ssize_t n = client::read_now(fd, self->buffer + self->received, kLengthFieldSize - self->received);
    if (n < 0) return read_failed(errno, "header", lost);
    if (n == 0) {
      *lost = true;
      return -1;
    }
    self->received += gsize(n);
    result = int(n);
    if (self->received < kLengthFieldSize) return result;
    gint32 length;
    memcpy(&length, self->buffer, sizeof length);
    // A length the buffer cannot hold, or one shorter than the header, leaves
    // no way to find the next message: the connection is dropped (and a
    // client with a path reconnects).
    if (length > gint32(kMessageMax) || length < 0) {
      PTZ_LOG_ERR("%s: Received a message larger than max (%u): len=%lu", __func__, guint(kMessageMax),
                  gulong(guint32(length)));
      *lost = true;
      return -1;
    }
    if (gsize(length) < kHeaderSize) {
      PTZ_LOG_ERR("%s: Received a message shorter than its header: len=%d", __func__, length);
      *lost = true;
      return -1;
    }
    self->length = gsize(length);
  }
  if (self->length == 0 || self->received >= self->length) return result;
  gsize wanted = MIN(self->length - self->received, kMessageMax - self->received);
  ssize_t n = client::read_now(fd, self->buffer + self->received, wanted);
  if (n < 0) {
    int failed = read_failed(errno, "body", lost);
    return failed < 0 ? failed : result;
  }
  if (n == 0) {
    *lost = true;
    return -1;
  }
  self->received += gsize(n);
  return result + int(n);
}

// Hands a received reply to the command awaiting it, if any; others are
// dropped. No lock may be held.
// Takes the pending command with this id off the list; NULL when none waits.
PTZSocketPendingCommand *take_pending(PTZSocketClientCommand *self, guint32 id) {
  client::Lock lock(&self->list_lock);
  GList *link = pending_of(self).find(id);
  if (link == nullptr) return nullptr;
  auto *command = static_cast<PTZSocketPendingCommand *>(link->data);
  pending_of(self).remove(link);
  return command;
}

// Hands a reply to the reply dispatcher and releases its command.
void dispatch(PTZSocketClientCommand *self, PTZSocketPendingCommand *command, guint8 *message,
              gsize length) {
  message[length] = '\0';  // the buffers have room: replies read as text stay in bounds
  PTZSocketClient *client = base(self);
  if (client->callback != nullptr)
    client->callback(command->user_data, reinterpret_cast<const gchar *>(message + kHeaderSize),
                     length - kHeaderSize);
  g_free(command);
}

void deliver(PTZSocketClientCommand *self, guint8 *message, gsize length) {
  if (length < kHeaderSize) return;
  PTZSocketPendingCommand *command = take_pending(self, message_id(message));
  if (command != nullptr) dispatch(self, command, message, length);
}

// The class read: reads a piece of the incoming message and, once it is
// complete, copies up to `size` bytes of it (header included) into `buffer`
// and delivers it.
int ptz_socket_client_command_read(PTZSocket *socket, int fd, void *buffer, gsize size, int) {
  auto *self = PTZ_SOCKET_CLIENT_COMMAND(socket);
  guint8 message[kMessageMax + 1];
  gsize length = 0;
  int result = 0;
  {
    client::Lock lock(&self->io_lock);
    // A descriptor read before the connection was found lost may already
    // have been closed and reused.
    if (fd != client::io_fd(base(self))) return -1;
    bool lost = false;
    if (ptz_socket_client_command_read_fd(self, fd, &lost) < 0) {
      if (lost) client::connection_lost(base(self));
      return -1;
    }
    if (!message_complete(self)) return 0;
    if (self->received > self->length)
      PTZ_LOG_ERR("%s: Read more than expected %lu vs %lu", __func__, gulong(self->received),
                  gulong(self->length));
    length = self->length;
    if (buffer != nullptr) {
      gsize copied = MIN(length, size);
      memcpy(buffer, self->buffer, copied);
      result = int(copied);
    }
    memcpy(message, self->buffer, length);
    reset_reader(self);
  }
  deliver(self, message, length);
  return result;
}

// Replies already waiting in the socket reach their commands before a new
// exchange starts.
void drain(PTZSocketClientCommand *self) {
  PTZSocket *socket = PTZ_SOCKET(self);
  guint8 byte;
  for (int i = 0; i < kDrainReads; i++)
    if (PTZ_SOCKET_GET_CLASS(socket)->read(socket, client::io_fd(base(self)), &byte, 1, 0) <= 0) break;
}

// Called with the I/O lock held, from connection_lost.
GList *take_orphans(PTZSocketClient *client) {
  auto *self = PTZ_SOCKET_CLIENT_COMMAND(client);
  reset_reader(self);  // a partial message of the lost connection
  client::Lock lock(&self->list_lock);
  return pending_of(self).take_all();
}

// A reply for an asynchronous command that a synchronous wait read; the
// command is taken off the pending list at once, so neither expiry nor a
// lost connection can report it before its reply is delivered.
struct LateReply {
  PTZSocketClientCommand *client;  // referenced
  PTZSocketPendingCommand *command;
  gsize length;
  guint8 message[];
};

gboolean deliver_late_reply(gpointer data) {
  auto *late = static_cast<LateReply *>(data);
  client::taken_over(late);
  dispatch(late->client, late->command, late->message, late->length);
  g_object_unref(late->client);
  g_free(late);
  return G_SOURCE_REMOVE;
}

// Called with the I/O lock held and a complete message in the buffer.
void hand_on_late_reply(PTZSocketClientCommand *self) {
  PTZSocketPendingCommand *command = take_pending(self, message_id(self->buffer));
  if (command == nullptr) return;
  auto *late = static_cast<LateReply *>(g_malloc(sizeof(LateReply) + self->length + 1));
  late->client = PTZ_SOCKET_CLIENT_COMMAND(g_object_ref(self));
  late->command = command;
  late->length = self->length;
  memcpy(late->message, self->buffer, self->length);
  client::handed_over(late);
  GSource *idle = g_idle_source_new();
  g_source_set_callback(idle, deliver_late_reply, late, nullptr);
  g_source_attach(idle, base(self)->context);
  g_source_unref(idle);
}

// ---- sending ------------------------------------------------------------------

enum class Sent { kAll, kHeaderFailed, kBodyFailed };

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
Sent send_frame(PTZSocketClientCommand *self, int fd, const Frame &frame, int *error) {
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
PTZSocketPendingCommand *register_pending(PTZSocketClientCommand *self, gpointer user_data, guint32 id) {
  auto *command = g_new0(PTZSocketPendingCommand, 1);
  command->user_data = user_data;
  command->id = id;
  client::Lock lock(&self->list_lock);
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
bool withdraw_pending(PTZSocketClientCommand *self, PTZSocketPendingCommand *command, guint32 id) {
  client::Lock lock(&self->list_lock);
  // Commands behind the oldest with this id (ids wrap) are looked at too.
  for (GList *link = pending_of(self).find(id); link != nullptr; link = link->next) {
    if (link->data != command) continue;
    pending_of(self).remove(link);
    g_free(command);
    return true;
  }
  return false;
}

void ptz_socket_client_command_finalize(GObject *object) {
  auto *self = PTZ_SOCKET_CLIENT_COMMAND(object);
  if (self->expiry_timer != 0) {
    GSource *timer = g_main_context_find_source_by_id(base(self)->context, self->expiry_timer);
    if (timer != nullptr) g_source_destroy(timer);
    self->expiry_timer = 0;
  }
  GList *left = pending_of(self).take_all();
  for (GList *l = left; l != nullptr; l = l->next) {
    auto *command = static_cast<PTZSocketPendingCommand *>(l->data);
    if (command != nullptr && self->free_callback != nullptr)
      self->free_callback(command->user_data, self->free_data);
    g_free(command);
  }
  g_list_free(left);
  delete &pending_of(self);
  g_free(self->buffer);
  self->buffer = nullptr;
  client::set_command_hooks(base(self), nullptr, nullptr);
  g_mutex_clear(&self->list_lock);
  g_mutex_clear(&self->io_lock);
  G_OBJECT_CLASS(ptz_socket_client_command_parent_class)->finalize(object);
}

}  // namespace

static void ptz_socket_client_command_class_init(PTZSocketClientCommandClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = ptz_socket_client_command_finalize;
  PTZ_SOCKET_CLASS(klass)->read = ptz_socket_client_command_read;
}

static void ptz_socket_client_command_init(PTZSocketClientCommand *self) {
  self->buffer = static_cast<guint8 *>(g_malloc0(kMessageMax));
  g_mutex_init(&self->list_lock);
  g_mutex_init(&self->io_lock);
  static_cast<PTZSocketClientCommandPrivate *>(ptz_socket_client_command_get_instance_private(self))->pending =
      new client::PendingIndex(&self->pending);
  client::set_command_hooks(base(self), &self->io_lock, take_orphans);
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
  client->free_data = free_data;
  client->free_callback = free_callback;
}

gboolean ptz_socket_client_command_async_send(PTZSocketClientCommand *self, const void *payload, gsize length,
                                              gpointer user_data) {
  if (!payload_fits(__func__, length)) return FALSE;
  drain(self);
  guint32 id = draw_id(self);
  Frame frame = make_frame(id, payload, length);
  client::Lock lock(&self->io_lock);
  PTZSocketPendingCommand *command = user_data != nullptr ? register_pending(self, user_data, id) : nullptr;
  int error = 0;
  Sent sent = send_frame(self, client::io_fd(base(self)), frame, &error);
  if (sent == Sent::kAll) return TRUE;
  if (sent == Sent::kBodyFailed) PTZ_LOG_ERR("%s: Failed to send body", __func__);
  PTZ_LOG_INFO("%s: Failed to async_send id=%d", __func__, int(id));
  bool withdrawn = command == nullptr || withdraw_pending(self, command, id);
  client::write_failed(base(self), error);
  // A command the expiry already handed to the dispatcher counts as sent, so
  // its data is never released twice.
  return withdrawn ? FALSE : TRUE;
}

gboolean ptz_socket_client_command_sync_send(PTZSocketClientCommand *self, const void *payload, gsize length,
                                             void *reply, gsize *reply_length) {
  if (!payload_fits(__func__, length)) return FALSE;
  PTZSocketClient *client = base(self);
  guint32 id = draw_id(self);
  Frame frame = make_frame(id, payload, length);
  drain(self);

  client::Lock lock(&self->io_lock);
  // The main loop must not take the reply.
  ptz_file_g_source_remove_poll(client->source);
  int fd = client::io_fd(client);
  int error = 0;
  bool done = false;
  if (send_frame(self, fd, frame, &error) != Sent::kAll) {
    client::write_failed(client, error);
    if (client::io_fd(client) >= 0) ptz_file_g_source_add_poll(client->source);
    return FALSE;
  }

  const gint64 limit_ms = gint64(velmora::scaled_ms(kSyncTimeoutMs));
  const gint64 start_us = monotonic_now_us();
  gint64 left_ms = limit_ms;
  // poll, unlike select, has no limit on the descriptor's number.
  while (!done) {
    pollfd watched = {fd, POLLIN, 0};
    int ready = poll(&watched, 1, int(left_ms));
    if (ready < 0 && errno != EINTR) {
      PTZ_LOG_WARNING("%s: Error waiting for sync reply from socket! %m", __func__);
      break;
    }
    if (ready > 0) {
      bool lost = false;
      if (ptz_socket_client_command_read_fd(self, fd, &lost) < 0) {
        if (lost) client::connection_lost(client);
        break;
      }
      if (message_complete(self)) {
        if (message_id(self->buffer) == id) {
          gsize reply_bytes = self->length - kHeaderSize;
          if (reply_length != nullptr) *reply_length = reply_bytes;
          if (reply != nullptr) memcpy(reply, self->buffer + kHeaderSize, reply_bytes);
          done = true;
        } else {
          hand_on_late_reply(self);
        }
        reset_reader(self);
      }
    }
    if (done) break;
    left_ms = limit_ms - (monotonic_now_us() - start_us) / 1000;
    if (left_ms <= 0) break;
  }
  if (!done) PTZ_LOG_WARNING("%s: Timeout waiting for response to message %d!", __func__, int(id));
  if (client::io_fd(client) >= 0) ptz_file_g_source_add_poll(client->source);
  return done ? TRUE : FALSE;
}

}  // extern "C"
