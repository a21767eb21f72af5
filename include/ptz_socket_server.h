/* Receiving side of the framework's socket channel.
 *
 * PTZSocketServer listens on a Unix-domain socket path (or serves one
 * connected descriptor) from an event source on the default main context and
 * hands every chunk of data to one callback, with a reply handle.
 *
 * PTZSocketServerCommand adds the command framing: every message is
 *   offset 0, 4 bytes: total length including this 8-byte header (host order)
 *   offset 4, 4 bytes: message id (host order)
 *   offset 8:          payload, at most PTZ_SOCKET_MESSAGE_MAX - 8 bytes
 * the callback receives only the payload and answers through the handle with
 * the id of the request. */
#ifndef PTZ_SOCKET_SERVER_H
#define PTZ_SOCKET_SERVER_H

#include <glib.h>
#include <glib-object.h>

#include "ptz_export.h"
#include "ptz_socket.h"

G_BEGIN_DECLS

/* Largest framed message, header included. */
#define PTZ_SOCKET_MESSAGE_MAX 2560
/* Size of the framing header. */
#define PTZ_SOCKET_HEADER_SIZE 8

#define PTZ_TYPE_SOCKET_SERVER (ptz_socket_server_get_type ())
#define PTZ_SOCKET_SERVER(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_SERVER, PTZSocketServer))
#define PTZ_SOCKET_SERVER_CLASS(klass) (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_SOCKET_SERVER, PTZSocketServerClass))
#define PTZ_IS_SOCKET_SERVER(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_SERVER))
#define PTZ_IS_SOCKET_SERVER_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_SOCKET_SERVER))
#define PTZ_SOCKET_SERVER_GET_CLASS(obj) (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_SOCKET_SERVER, PTZSocketServerClass))

typedef struct _PTZSocketServer PTZSocketServer;
typedef struct _PTZSocketServerClass PTZSocketServerClass;
/* One accepted connection (opaque). */
typedef struct _PTZSocketServerConnection PTZSocketServerConnection;
/* The server's event source (opaque). */
typedef struct _PTZSocketServerSource PTZSocketServerSource;
typedef struct _PTZSocketServerHandle PTZSocketServerHandle;

/* The reply handle given to the callback. Opaque to the callback's owner;
 * the server is found in the same place in every form of it. The plain
 * server's handle is embedded in the server and valid until the next chunk is
 * delivered; a command server's handle is allocated per command and valid
 * until ptz_socket_server_send consumes it. */
struct _PTZSocketServerHandle
{
  PTZSocketServerConnection *connection;
  PTZSocketServer *server;
};

/* Receives one chunk (plain server) or one command payload (command server).
 * `data` is NUL-terminated one byte past `length` and valid only during the
 * call. FALSE ends all serving of the server. */
typedef gboolean (*PTZSocketServerFunc) (gpointer user_data, PTZSocketServerHandle *handle,
                                         const gchar *data, gsize length);
/* Called when the connection of a server made from a descriptor ends. */
typedef void (*PTZSocketServerCloseFunc) (gpointer user_data);

struct _PTZSocketServer
{
  PTZSocket parent_instance;

  PTZSocketServerHandle handle;     /* the plain server's reply handle */
  PTZSocketServerSource *source;    /* the server's event source */
  GMainContext *context;            /* context of the source, referenced */
  PTZSocketServerCloseFunc close_callback;
  gpointer close_data;              /* user data of both callbacks */
};

struct _PTZSocketServerClass
{
  PTZSocketClass parent_class;

  /* Answers through a reply handle. */
  gboolean (*send) (PTZSocketServerHandle *handle, const void *buffer, gsize length);
  /* The reply handle for data just read from `connection`, or NULL when
   * there is nothing to deliver yet. */
  PTZSocketServerHandle *(*get_handle) (PTZSocketServer *server, PTZSocketServerConnection *connection);
};

PTZ_API GType ptz_socket_server_get_type (void);
/* A server of `type` listening at `socket`; its source is attached to the
 * default main context even when opening the path failed. */
PTZ_API PTZSocketServer *ptz_socket_server_new (GType type, const gchar *socket, int socket_type);
/* A server without path serving the connected descriptor `fd` as its only
 * connection. */
PTZ_API PTZSocketServer *ptz_socket_server_fd_new (GType type, int fd, int socket_type);
/**
 * ptz_socket_server_register_callback: (skip)
 * @server: a server
 * @callback: receives every chunk or command
 * @user_data: data passed to @callback
 */
PTZ_API void ptz_socket_server_register_callback (PTZSocketServer *server, PTZSocketServerFunc callback,
                                                  gpointer user_data);
/**
 * ptz_socket_server_register_callback_full: (skip)
 * @server: a server
 * @callback: (nullable): receives every chunk or command; %NULL keeps the
 *   current one
 * @close_callback: (nullable): called when the connection of a server made
 *   from a descriptor ends
 * @user_data: data passed to both callbacks
 */
PTZ_API void ptz_socket_server_register_callback_full (PTZSocketServer *server, PTZSocketServerFunc callback,
                                                       PTZSocketServerCloseFunc close_callback,
                                                       gpointer user_data);
/**
 * ptz_socket_server_send: (skip)
 * @handle: the reply handle given to the callback
 * @buffer: (array length=length) (element-type guint8): the reply
 * @length: its length
 *
 * Returns: %TRUE when the reply was written
 */
PTZ_API gboolean ptz_socket_server_send (PTZSocketServerHandle *handle, const void *buffer, gsize length);
PTZ_API void ptz_socket_server_close (PTZSocketServer *server, PTZSocketServerConnection *connection);
/* Drops one reference of the handle's server. */
PTZ_API void ptz_socket_server_unref (PTZSocketServerHandle *handle);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketServer, g_object_unref)

/* ---- PTZSocketServerCommand --------------------------------------------- */

#define PTZ_TYPE_SOCKET_SERVER_COMMAND (ptz_socket_server_command_get_type ())
#define PTZ_SOCKET_SERVER_COMMAND(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_SERVER_COMMAND, PTZSocketServerCommand))
#define PTZ_SOCKET_SERVER_COMMAND_CLASS(klass) (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_SOCKET_SERVER_COMMAND, PTZSocketServerCommandClass))
#define PTZ_IS_SOCKET_SERVER_COMMAND(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_SERVER_COMMAND))
#define PTZ_IS_SOCKET_SERVER_COMMAND_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_SOCKET_SERVER_COMMAND))
#define PTZ_SOCKET_SERVER_COMMAND_GET_CLASS(obj) (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_SOCKET_SERVER_COMMAND, PTZSocketServerCommandClass))

typedef struct _PTZSocketServerCommand PTZSocketServerCommand;
typedef struct _PTZSocketServerCommandClass PTZSocketServerCommandClass;

/* Messages are reassembled per connection, so interleaved writers never mix;
 * the fields below describe the message most recently read. */
struct _PTZSocketServerCommand
{
  PTZSocketServer parent_instance;

  gsize received;   /* bytes of that message read so far */
  gsize length;     /* its total length once its header is in, else 0 */
  guint32 id;       /* id of the last complete message */
  guint8 *buffer;   /* PTZ_SOCKET_MESSAGE_MAX bytes: the last complete message */
  gboolean complete; /* a complete message waits for its reply handle */
};

struct _PTZSocketServerCommandClass
{
  PTZSocketServerClass parent_class;
};

PTZ_API GType ptz_socket_server_command_get_type (void);
PTZ_API PTZSocketServerCommand *ptz_socket_server_command_new (const gchar *socket, int socket_type);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketServerCommand, g_object_unref)

G_END_DECLS

#endif /* PTZ_SOCKET_SERVER_H */
