// PTZSocketServerCommand: the command server. Reassembles length-prefixed
// messages per connection, hands the callback only the payload, and answers
// through a handle with the id of the request.
#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <utility>

#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "ptz_socket_server.h"
#include "socket/ptz_socket_server_private.h"

namespace {

constexpr gsize kMax = PTZ_SOCKET_MESSAGE_MAX;
constexpr gsize kHeader = PTZ_SOCKET_HEADER_SIZE;
// How long a reply that did not fit into the socket at once may wait for the
// peer to make room, so that a half-written reply never breaks the framing.
constexpr int kReplyRestTimeoutMs = 1000;
// The name framing problems are logged under.
constexpr char kCommandRead[] = "ptz_socket_server_command_read";

// The reply handle of a command: the documented (descriptor, server, id),
// with the server where the plain server's handle has it, and the identity
// of the connection so that a late reply never reaches a newer peer that got
// the same descriptor number.
struct CommandHandle {
  int fd;
  PTZSocketServer *server;
  guint32 id;
  guint64 serial;
};
static_assert(offsetof(CommandHandle, server) == offsetof(PTZSocketServerHandle, server));

guint32 field(const guint8 *bytes) {
  guint32 value;
  memcpy(&value, bytes, sizeof(value));
  return value;
}

// What the read-ahead buffer of a connection begins with.
enum class Next {
  kIncomplete,
  kComplete,
  kTooLarge,
  kTooShort
};

Next next_message(const PTZSocketServerConnection *connection, gsize *total) {
  if (connection->in_length < 4) return Next::kIncomplete;
  // The field is read as a signed number: a value with the top bit set is
  // as much too large as any above the limit.
  const guint32 length = field(connection->in);
  *total = length;
  if (length > kMax) return Next::kTooLarge;
  // Nothing shorter than its own header can be framed: no way to find the
  // next message boundary on this connection.
  if (length < kHeader) return Next::kTooShort;
  return connection->in_length >= length ? Next::kComplete : Next::kIncomplete;
}

// Gives the connection a whole read-ahead buffer, holding what it had.
void widen(PTZSocketServer *server, PTZSocketServerConnection *connection) {
  if (connection->in_is_read_ahead) return;
  guint8 *full = velmora::server::take_buffer(server);
  if (connection->in_length > 0) memcpy(full, connection->in, connection->in_length);
  g_free(connection->in);
  connection->in = full;
  connection->in_is_read_ahead = true;
}

// Keeps only the bytes the connection holds, so that a connection waiting
// with half a message costs that half, not a read-ahead buffer.
void narrow(PTZSocketServer *server, PTZSocketServerConnection *connection) {
  if (!connection->in_is_read_ahead) {
    if (connection->in_length == 0) g_clear_pointer(&connection->in, g_free);
    return;
  }
  guint8 *full = std::exchange(connection->in, nullptr);
  if (connection->in_length > 0) connection->in = static_cast<guint8 *>(g_memdup2(full, connection->in_length));
  connection->in_is_read_ahead = false;
  velmora::server::give_buffer(server, full);
}

// The class read: continues the message of the connection with descriptor
// fd; returns the payload length once a message is complete (its payload
// copied to buffer), 0 while it is not, -1 when the connection must close.
// One read brings as much as the read-ahead buffer takes; messages found
// complete behind the current one wait there for the next passes, one per
// pass, and are never mixed with another connection's bytes.
int command_read(PTZSocket *endpoint, int fd, void *buffer, gsize size, int) {
  auto *self = PTZ_SOCKET_SERVER_COMMAND(endpoint);
  PTZSocketServer *server = &self->parent_instance;
  PTZSocketServerConnection *connection = velmora::server::find_connection(server, fd, 0);
  if (connection == nullptr) return -1;

  gsize total = 0;
  Next next = next_message(connection, &total);
  if (next == Next::kIncomplete) {
    widen(server, connection);
    // Never wait here, also on a blocking descriptor handed in by the caller:
    // a peer that sent half a message must not stall the main context.
    ssize_t n = recv(fd, connection->in + connection->in_length, velmora::server::kReadAhead - connection->in_length,
                     MSG_DONTWAIT);
    if (n == 0) return -1;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
    if (n > 0) connection->in_length += gsize(n);
    next = next_message(connection, &total);
  }
  switch (next) {
    case Next::kTooLarge:
      PTZ_LOG_ERR("%s: Received a message larger than max (%u): len=%lu", kCommandRead, guint(kMax), gulong(total));
      return -1;
    case Next::kTooShort:
      return -1;
    case Next::kIncomplete:
      self->received = connection->in_length;
      self->length = connection->in_length >= 4 ? total : 0;
      velmora::server::set_partial(server, connection, connection->in_length > 0);
      narrow(server, connection);
      return 0;
    case Next::kComplete:
      break;
  }

  const gsize payload = total - kHeader;
  memcpy(self->buffer, connection->in, total);
  self->id = field(connection->in + 4);
  memcpy(buffer, connection->in + kHeader, MIN(payload, size));
  connection->in_length -= total;
  memmove(connection->in, connection->in + total, connection->in_length);
  gsize following = 0;
  Next after = next_message(connection, &following);
  // A complete (or broken) message behind it is taken up by the next pass
  // without waiting for input.
  connection->message_waiting = after != Next::kIncomplete;
  // Bytes of the next message start its own time limit.
  velmora::server::set_partial(server, connection, false);
  velmora::server::set_partial(server, connection, after == Next::kIncomplete && connection->in_length > 0);
  narrow(server, connection);
  self->received = self->length = 0;
  // A bare header carries nothing to deliver and gets no reply.
  self->complete = payload > 0;
  return int(MIN(payload, size));
}

PTZSocketServerHandle *command_get_handle(PTZSocketServer *server, PTZSocketServerConnection *connection) {
  auto *self = PTZ_SOCKET_SERVER_COMMAND(server);
  if (!self->complete) return nullptr;
  self->complete = FALSE;
  auto *handle = g_new(CommandHandle, 1);
  *handle = {connection->fd, server, self->id, connection->serial};
  return reinterpret_cast<PTZSocketServerHandle *>(handle);
}

gboolean command_send(PTZSocketServerHandle *server_handle, const void *buffer, gsize length) {
  std::unique_ptr<CommandHandle, velmora::GFreeDeleter> handle(reinterpret_cast<CommandHandle *>(server_handle));
  PTZSocketServer *server = handle->server;
  // A reply larger than the framing allows would break the peer's reader.
  if (length > kMax - kHeader || (length > 0 && buffer == nullptr)) return FALSE;
  PTZSocketServerConnection *connection = velmora::server::find_connection(server, handle->fd, handle->serial);
  if (connection == nullptr) return FALSE;  // its connection has closed: the reply is dropped

  guint8 message[kMax];
  const guint32 total = guint32(length + kHeader);
  memcpy(message, &total, 4);
  memcpy(message + 4, &handle->id, 4);
  if (length > 0) memcpy(message + kHeader, buffer, length);

  PTZSocket *endpoint = PTZ_SOCKET(server);
  PTZSocketClass *klass = PTZ_SOCKET_GET_CLASS(endpoint);
  int n = klass->write(endpoint, connection->fd, message, total, 0);
  if (n <= 0) return FALSE;  // nothing went out: the framing is intact
  gsize written = gsize(n);
  if (written < total) {
    int rest = klass->write(endpoint, connection->fd, message + written, total - written, kReplyRestTimeoutMs);
    if (rest > 0) written += gsize(rest);
  }
  if (written == total) return TRUE;
  // Part of a message went out: nothing later on this stream could be framed.
  ptz_socket_server_close(server, connection);
  return FALSE;
}

void command_server_finalize(GObject *object);

}  // namespace

G_DEFINE_TYPE(PTZSocketServerCommand, ptz_socket_server_command, PTZ_TYPE_SOCKET_SERVER)

namespace {
void command_server_finalize(GObject *object) {
  g_clear_pointer(&PTZ_SOCKET_SERVER_COMMAND(object)->buffer, g_free);
  G_OBJECT_CLASS(ptz_socket_server_command_parent_class)->finalize(object);
}
}  // namespace

static void ptz_socket_server_command_class_init(PTZSocketServerCommandClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = command_server_finalize;
  klass->parent_class.parent_class.read = command_read;
  klass->parent_class.send = command_send;
  klass->parent_class.get_handle = command_get_handle;
}

static void ptz_socket_server_command_init(PTZSocketServerCommand *self) {
  self->buffer = static_cast<guint8 *>(g_malloc0(kMax));
}

extern "C" void ptz_socket_server_release_handle(PTZSocketServerHandle *handle) {
  if (handle == nullptr || handle->server == nullptr || handle == &handle->server->handle) return;
  // Only handles this file made are freed here; other classes own theirs.
  if (PTZ_SOCKET_SERVER_GET_CLASS(handle->server)->get_handle == command_get_handle) g_free(handle);
}

extern "C" PTZSocketServerCommand *ptz_socket_server_command_new(const gchar *socket, int socket_type) {
  return PTZ_SOCKET_SERVER_COMMAND(ptz_socket_server_new(PTZ_TYPE_SOCKET_SERVER_COMMAND, socket, socket_type));
}
