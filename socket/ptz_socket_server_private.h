// Records shared by the plain and the command socket server (not exported).
#pragma once

#include <sys/types.h>

#include "ptz_socket_server.h"

// One accepted connection.
struct _PTZSocketServerConnection {
  int fd;
  uid_t uid;       // the peer's account, counted against its cap
  bool counted;    // whether it counts against the account's cap
  guint64 serial;  // tells this connection from a later one reusing fd
  // Its place in the server's queue of connections to read; see the source.
  GList ready_link;
  bool queued;
  guint32 events;  // epoll events last reported, while queued
  // Its place among connections holding part of a message, oldest first.
  GList partial_link;
  bool partial;
  gint64 partial_since_us;  // when the incomplete message began
  // Bytes read ahead of the command server's framing, not yet consumed: in
  // a read-ahead buffer while a read runs, else in an allocation of their
  // own size.
  guint8 *in;
  gsize in_length;
  bool in_is_read_ahead;
  // A complete message waits in `in`: read it without waiting for input.
  bool message_waiting;
};

namespace velmora::server {

// The connection of `server` with descriptor `fd`; with a non-zero `serial`
// only that very connection. NULL when it is closed.
PTZSocketServerConnection *find_connection(PTZSocketServer *server, int fd, guint64 serial);

// Tells the server whether `connection` holds the beginning of a message
// that has not yet arrived whole; such a connection is closed when that
// lasts longer than the partial timeout.
void set_partial(PTZSocketServer *server, PTZSocketServerConnection *connection, bool partial);

// A read-ahead buffer of `size` bytes, reused between connections.
guint8 *take_buffer(PTZSocketServer *server);
void give_buffer(PTZSocketServer *server, guint8 *buffer);

// Size of a connection's read-ahead buffer: two of the largest messages, so
// one read can bring a whole message behind the end of another.
constexpr gsize kReadAhead = 2 * PTZ_SOCKET_MESSAGE_MAX;

}  // namespace velmora::server
