// Records shared by the plain and the command socket server (not exported).
#pragma once

#include "ptz_socket_server.h"

// One accepted connection.
struct _PTZSocketServerConnection {
  int fd;
  gpointer tag;     // registration of fd with the server's source
  guint64 serial;   // tells this connection from a later one reusing fd
  // Reassembly of the framed message being read on this connection.
  gsize received;   // bytes of it read so far
  gsize length;     // its total length once the header is in, else 0
  guint8 *message;  // PTZ_SOCKET_MESSAGE_MAX bytes, allocated on first use
};

namespace velmora::server {

// The connection of `server` with descriptor `fd`; with a non-zero `serial`
// only that very connection. NULL when it is closed.
PTZSocketServerConnection *find_connection(PTZSocketServer *server, int fd, guint64 serial);

}  // namespace velmora::server
