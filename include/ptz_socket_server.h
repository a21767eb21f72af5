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
#include <sys/types.h>

#include "ptz_export.h"
#include "ptz_socket.h"

G_BEGIN_DECLS

/* Largest framed message, header included. */
#define PTZ_SOCKET_MESSAGE_MAX 2560
/* Size of the framing header. */
#define PTZ_SOCKET_HEADER_SIZE 8
/* Connections one account may hold open to a server unless changed with
 * ptz_socket_server_set_max_connections_per_user (root and the server's own
 * account are not limited). */
#define PTZ_SOCKET_SERVER_DEFAULT_MAX_CONNECTIONS_PER_USER 32
/* How long a command server lets a connection hold part of a message unless
 * changed with ptz_socket_server_set_partial_timeout, in milliseconds. */
#define PTZ_SOCKET_SERVER_DEFAULT_PARTIAL_TIMEOUT_MS 5000

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

/**
 * ptz_socket_server_release_handle:
 * @handle: (nullable) (transfer full): a reply handle that will not be
 *   answered
 *
 * Releases a reply handle without answering it. A command server's handle
 * is otherwise released only by ptz_socket_server_send; a command that is
 * never answered must be released with this call, or its handle leaks. The
 * handle must not be used afterwards. For the plain server's handle, which
 * is embedded in the server, and for NULL this does nothing; neither does it
 * for handles of server classes of other libraries, which own theirs.
 *
 * Call it on the thread that iterates the default main context.
 */
PTZ_API void ptz_socket_server_release_handle (PTZSocketServerHandle *handle);

/**
 * ptz_socket_server_set_partial_timeout:
 * @server: a server
 * @timeout_ms: the longest time, in milliseconds, that a connection may hold
 *   part of a message; 0 for no limit
 *
 * A command server closes a connection whose current message is still
 * incomplete @timeout_ms after its first byte arrived, so that peers cannot
 * hold connections with half a frame, or dribble one, for ever. The default
 * is %PTZ_SOCKET_SERVER_DEFAULT_PARTIAL_TIMEOUT_MS. The plain server, which
 * has no framing, ignores it. Closures are logged at warning priority, one
 * line for those that happen close together.
 *
 * Call it on the thread that iterates the default main context.
 */
PTZ_API void ptz_socket_server_set_partial_timeout (PTZSocketServer *server, guint timeout_ms);

/**
 * ptz_socket_server_set_max_connections_per_user:
 * @server: a server
 * @max_connections: how many connections one account may hold open at once;
 *   0 for no limit
 *
 * Sets the cap on connections per peer account, found with SO_PEERCRED when
 * a connection is accepted. Root and the account the server runs as are
 * never limited. A connection past its account's cap is closed as soon as it
 * is accepted; one warning per episode is logged (an episode ends when the
 * account is below its cap again). The default is
 * %PTZ_SOCKET_SERVER_DEFAULT_MAX_CONNECTIONS_PER_USER. Connections already
 * open are kept when the cap is lowered.
 *
 * Call it on the thread that iterates the default main context.
 */
PTZ_API void ptz_socket_server_set_max_connections_per_user (PTZSocketServer *server, guint max_connections);

/**
 * ptz_socket_server_allow_user:
 * @server: a server listening at a path
 * @uid: an account that may connect
 *
 * Turns on the server's peer policy, if it is not on yet, and lets @uid
 * connect. With the policy on, a connection is accepted only when its peer
 * (SO_PEERCRED) is root, runs as the server's own account, is an allowed
 * account, or has an allowed group as its group or one of its supplementary
 * groups (SO_PEERGROUPS); any other is closed at once with a warning in the
 * system log. Without a call to this function or to
 * ptz_socket_server_allow_group every peer that can open the socket file may
 * connect (the file's mode decides, see ptz_socket_new). The policy applies
 * to connections accepted from then on.
 *
 * Call it on the thread that iterates the default main context.
 */
PTZ_API void ptz_socket_server_allow_user (PTZSocketServer *server, uid_t uid);

/**
 * ptz_socket_server_allow_group:
 * @server: a server listening at a path
 * @gid: a group whose members may connect
 *
 * Turns on the peer policy, if it is not on yet, and lets members of @gid
 * connect; see ptz_socket_server_allow_user.
 *
 * Call it on the thread that iterates the default main context.
 */
PTZ_API void ptz_socket_server_allow_group (PTZSocketServer *server, gid_t gid);

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
