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

/**
 * PTZ_SOCKET_MESSAGE_MAX:
 *
 * The largest framed message in bytes, its 8-byte header included: a
 * command or reply payload holds at most `PTZ_SOCKET_MESSAGE_MAX -
 * PTZ_SOCKET_HEADER_SIZE` (2552) bytes. Also the largest chunk a plain
 * server delivers at once.
 */
#define PTZ_SOCKET_MESSAGE_MAX 2560
/**
 * PTZ_SOCKET_HEADER_SIZE:
 *
 * The size of the framing header: the message's total length, then its
 * id, each 4 bytes in host byte order.
 */
#define PTZ_SOCKET_HEADER_SIZE 8
/**
 * PTZ_SOCKET_SERVER_DEFAULT_MAX_CONNECTIONS_PER_USER:
 *
 * How many connections one account may hold open to a server unless
 * changed with ptz_socket_server_set_max_connections_per_user() (root and
 * the server's own account are not limited).
 */
#define PTZ_SOCKET_SERVER_DEFAULT_MAX_CONNECTIONS_PER_USER 32
/**
 * PTZ_SOCKET_SERVER_DEFAULT_PARTIAL_TIMEOUT_MS:
 *
 * How long, in milliseconds, a command server lets a connection hold part
 * of a message unless changed with ptz_socket_server_set_partial_timeout().
 */
#define PTZ_SOCKET_SERVER_DEFAULT_PARTIAL_TIMEOUT_MS 5000

#define PTZ_TYPE_SOCKET_SERVER (ptz_socket_server_get_type ())
#define PTZ_SOCKET_SERVER(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_SERVER, PTZSocketServer))
#define PTZ_SOCKET_SERVER_CLASS(klass) (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_SOCKET_SERVER, PTZSocketServerClass))
#define PTZ_IS_SOCKET_SERVER(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_SERVER))
#define PTZ_IS_SOCKET_SERVER_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_SOCKET_SERVER))
#define PTZ_SOCKET_SERVER_GET_CLASS(obj) \
  (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_SOCKET_SERVER, PTZSocketServerClass))

typedef struct _PTZSocketServer PTZSocketServer;
typedef struct _PTZSocketServerClass PTZSocketServerClass;
/**
 * PTZSocketServerConnection:
 *
 * One connection of a server (opaque). The plain server's reply handle
 * names it; ptz_socket_server_close() closes it.
 */
typedef struct _PTZSocketServerConnection PTZSocketServerConnection;
/**
 * PTZSocketServerSource:
 *
 * The event source of a server (opaque): it accepts connections, reads
 * them and calls the server's callback, on the default main context.
 */
typedef struct _PTZSocketServerSource PTZSocketServerSource;
typedef struct _PTZSocketServerHandle PTZSocketServerHandle;

/**
 * PTZSocketServerHandle:
 * @connection: the connection the data came from (plain server); in a
 *   command server's handle this place holds other data
 * @server: the server; found here in every kind of handle
 *
 * The reply handle given to the callback, through which it answers with
 * ptz_socket_server_send(). Treat it as opaque, except that @server is
 * always the server.
 *
 * The plain server's handle is embedded in the server and valid until the
 * next chunk is delivered or its connection closes, so a plain server is
 * answered from inside its callback. A command server makes a handle for
 * each command; it stays valid, and can be answered later (on the same
 * thread), until ptz_socket_server_send() consumes it or
 * ptz_socket_server_release_handle() releases it: one of the two must be
 * called for every command handle, or it leaks.
 */
struct _PTZSocketServerHandle
{
  PTZSocketServerConnection *connection;
  PTZSocketServer *server;
};

/**
 * PTZSocketServerFunc:
 * @user_data: the data given with the callback
 * @handle: the reply handle (see #PTZSocketServerHandle)
 * @data: (array length=length) (element-type guint8): for a plain server,
 *   the chunk that arrived; for a command server, the payload of one
 *   command (its header removed). One byte past @length there is a NUL, so
 *   text can be read in place; valid only during the call
 * @length: the number of bytes, 1 to 2560 (plain) or 1 to 2552 (command)
 *
 * Receives what a server reads. It runs on the thread that iterates the
 * default main context. A main loop run from inside it gets nothing more
 * from this server until it returns.
 *
 * Returns: %TRUE to keep serving; %FALSE ends all serving of the server
 *   (its source is removed: no connection is read or accepted again)
 */
typedef gboolean (*PTZSocketServerFunc) (gpointer user_data, PTZSocketServerHandle *handle, const gchar *data,
                                         gsize length);
/**
 * PTZSocketServerCloseFunc:
 * @user_data: the data given to ptz_socket_server_register_callback_full()
 *
 * Called when the connection of a server made from a descriptor
 * (ptz_socket_server_fd_new()) ends, on the thread that iterates the
 * default main context; not when the server is finalized.
 */
typedef void (*PTZSocketServerCloseFunc) (gpointer user_data);

/**
 * PTZSocketServer:
 * @handle: the plain server's reply handle, refilled for every chunk
 * @source: the server's event source
 * @context: the main context the source is attached to (the default one),
 *   referenced
 * @close_callback: called when the connection of a server made from a
 *   descriptor ends
 * @close_data: the user data of both callbacks
 *
 * The receiving side of the socket channel. A server listens at a path (or
 * serves one connected descriptor), accepts connections and reads them from
 * one event source on the default main context, and hands what arrives to
 * one callback (#PTZSocketServerFunc) together with a reply handle. The
 * plain server delivers chunks as they are read; #PTZSocketServerCommand
 * adds the command framing.
 *
 * A server with a path protects itself from the other accounts of the
 * device: a connection past its account's cap
 * (ptz_socket_server_set_max_connections_per_user()) or refused by the peer
 * policy (ptz_socket_server_allow_user()) is closed when it is accepted,
 * and when the process runs out of descriptors it keeps serving the
 * connections it has and resumes accepting once descriptors are free.
 * Connections are served in turn, one delivery each, so none can hold the
 * others up.
 *
 * A server has no lock: create it, use it and answer its handles on the
 * thread that iterates the default main context. The fields are for reading
 * by subclasses.
 */
struct _PTZSocketServer
{
  PTZSocket parent_instance;

  PTZSocketServerHandle handle;
  PTZSocketServerSource *source;
  GMainContext *context;
  PTZSocketServerCloseFunc close_callback;
  gpointer close_data;
};

/**
 * PTZSocketServerClass:
 * @parent_class: the parent class; a server overrides its read
 * @send: answers through a reply handle: the implementation of
 *   ptz_socket_server_send(), which owns what it is given (the command
 *   server frees its handle in every case)
 * @get_handle: the reply handle for what was just read from a connection,
 *   or %NULL when there is nothing to deliver yet; see the virtual method
 *
 * The class of #PTZSocketServer.
 */
struct _PTZSocketServerClass
{
  PTZSocketClass parent_class;

  gboolean (*send) (PTZSocketServerHandle *handle, const void *buffer, gsize length);
  PTZSocketServerHandle *(*get_handle) (PTZSocketServer *server, PTZSocketServerConnection *connection);
};

/**
 * PTZSocketServerClass::get_handle:
 * @server: the server
 * @connection: the connection just read
 *
 * Makes the reply handle for what the class's read just delivered from
 * @connection. The plain server fills its embedded handle; the command
 * server makes a new one for a complete command.
 *
 * Returns: (nullable) (transfer none): the handle to give to the callback,
 *   or %NULL when there is nothing to deliver yet (the callback is not
 *   called)
 */

PTZ_API GType ptz_socket_server_get_type (void);
/**
 * ptz_socket_server_new:
 * @type: %PTZ_TYPE_SOCKET_SERVER or a subclass (another type is refused
 *   with a critical and gives %NULL)
 * @socket: (type filename): the path to listen at, at most 107 bytes
 * @socket_type: the socket type, normally `SOCK_STREAM`
 *
 * Creates a server listening at @socket (see ptz_socket_new() for the
 * socket file and its mode) and attaches its event source to the default
 * main context. Opening failures do not fail construction: each is logged
 * (ptz_socket_new()), the server's @fd is -1, and it serves nothing, for
 * good.
 *
 * Call it on the thread that iterates the default main context.
 *
 * Returns: (transfer full) (nullable): the new server (release it with
 *   g_object_unref(), which closes its connections and removes its socket
 *   file), or %NULL for a wrong @type
 */
PTZ_API PTZSocketServer *ptz_socket_server_new (GType type, const gchar *socket, int socket_type);
/**
 * ptz_socket_server_fd_new:
 * @type: %PTZ_TYPE_SOCKET_SERVER or a subclass (another type is refused
 *   with a critical and gives %NULL)
 * @fd: a connected descriptor, for instance one end of a socketpair(2)
 * @socket_type: its socket type
 *
 * Creates a server without a path that serves @fd as its only connection.
 * When that connection ends (the peer hangs up, a read fails,
 * ptz_socket_server_close()) the server closes @fd, sets its @fd to -1
 * and calls the close callback (ptz_socket_server_register_callback_full());
 * finalizing the server closes @fd too, without calling it.
 *
 * Call it on the thread that iterates the default main context.
 *
 * Returns: (transfer full) (nullable): the new server, or %NULL for a
 *   wrong @type
 */
PTZ_API PTZSocketServer *ptz_socket_server_fd_new (GType type, int fd, int socket_type);
/**
 * ptz_socket_server_register_callback: (skip)
 * @server: a server
 * @callback: receives every chunk or command
 * @user_data: data passed to @callback; it stays the caller's
 *
 * Sets the one callback of @server, replacing the one before. Until a
 * callback is set, data is read and dropped. Call it on the thread that
 * iterates the default main context. Not for language bindings, whose
 * handles would need a life of their own.
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
 * @user_data: data passed to both callbacks; it stays the caller's
 *
 * Sets the callback and the close callback of @server. Call it on the
 * thread that iterates the default main context.
 */
PTZ_API void ptz_socket_server_register_callback_full (PTZSocketServer *server, PTZSocketServerFunc callback,
                                                       PTZSocketServerCloseFunc close_callback, gpointer user_data);
/**
 * ptz_socket_server_send: (skip)
 * @handle: (transfer full): the reply handle given to the callback
 * @buffer: (array length=length) (element-type guint8) (nullable): the reply;
 *   may be %NULL when @length is 0
 * @length: its length; at most 2552 bytes for a command server, which may
 *   also answer with 0 (a bare header)
 *
 * Answers through a reply handle, with the server's class's send.
 *
 * The plain server writes @buffer to the handle's connection, waiting at
 * most 1 s for room; a write failure other than a full socket closes the
 * connection.
 *
 * The command server writes one message: a header with the total length
 * and the id of the command the handle answers, then @buffer. It consumes
 * the handle whether it succeeds or not. The reply is dropped (%FALSE)
 * when it is too long, when the command's connection has closed since the
 * command came (also when a new connection got the same descriptor), or
 * when nothing could be written; a reply written in part, whose rest did
 * not go out within 1 s, closes the connection, since nothing after it
 * could be framed.
 *
 * Call it on the thread that iterates the default main context, from the
 * callback or later. Language bindings cannot answer through handles.
 *
 * Returns: %TRUE when the whole reply was written; %FALSE also for a %NULL
 *   handle
 */
PTZ_API gboolean ptz_socket_server_send (PTZSocketServerHandle *handle, const void *buffer, gsize length);
/**
 * ptz_socket_server_close:
 * @server: (nullable): a server; %NULL does nothing
 * @connection: (nullable): one of its open connections, such as the
 *   @connection of the plain server's handle; anything else does nothing
 *
 * Closes a connection of @server. Closing the connection of a server made
 * from a descriptor sets the server's @fd to -1 and calls the close
 * callback. A close that fails is logged ("ptz_socket_server_close: Failed
 * to close client fd N <error>") and the connection is forgotten all the
 * same. Call it on the thread that iterates the default main context.
 */
PTZ_API void ptz_socket_server_close (PTZSocketServer *server, PTZSocketServerConnection *connection);
/**
 * ptz_socket_server_unref:
 * @handle: (nullable): a reply handle
 *
 * Drops one reference of the handle's server (g_object_unref() of its
 * @server), such as one a callback took with g_object_ref() to keep the
 * server alive until it answers later. The handle itself is not released.
 * %NULL does nothing. Call it on the thread that iterates the default main
 * context.
 */
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
 * has no framing, ignores it. Closures are logged at warning priority,
 * "ptz_socket_server_source_dispatch: Closing client fd N (uid U): its
 * message stayed incomplete for T ms (K more closed since the last
 * report)", at most one line every 10 seconds.
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
 * is accepted; one warning per episode is logged,
 * "ptz_socket_server_source_dispatch: uid U reached its connection limit
 * (N); closing its further connections" (an episode ends when the account
 * is below its cap again). The default is
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
 * groups (SO_PEERGROUPS); any other is closed at once with the warning
 * "ptz_socket_server_source_dispatch: Refused connection from uid U gid G
 * pid P: not allowed by the peer policy (K more refused since the last
 * report)", at most one line every 10 seconds. Without a call to this
 * function or to
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
#define PTZ_SOCKET_SERVER_COMMAND(obj) \
  (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_SERVER_COMMAND, PTZSocketServerCommand))
#define PTZ_SOCKET_SERVER_COMMAND_CLASS(klass) \
  (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_SOCKET_SERVER_COMMAND, PTZSocketServerCommandClass))
#define PTZ_IS_SOCKET_SERVER_COMMAND(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_SERVER_COMMAND))
#define PTZ_IS_SOCKET_SERVER_COMMAND_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_SOCKET_SERVER_COMMAND))
#define PTZ_SOCKET_SERVER_COMMAND_GET_CLASS(obj) \
  (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_SOCKET_SERVER_COMMAND, PTZSocketServerCommandClass))

typedef struct _PTZSocketServerCommand PTZSocketServerCommand;
typedef struct _PTZSocketServerCommandClass PTZSocketServerCommandClass;

/**
 * PTZSocketServerCommand:
 * @received: bytes of the message most recently read that are in so far
 * @length: that message's total length once its header is in, else 0
 * @id: the id of the last complete message
 * @buffer: %PTZ_SOCKET_MESSAGE_MAX bytes holding the last complete message,
 *   header included; owned
 * @complete: whether a complete message waits for its reply handle
 *
 * The command server: the peer of #PTZSocketClientCommand. Every message
 * is framed by an 8-byte header (the total length, header included, then
 * the message's id, each 4 bytes in host byte order) followed by the
 * payload, at most %PTZ_SOCKET_MESSAGE_MAX bytes in all. The server
 * reassembles the messages of each connection on its own, hands the
 * callback one command's payload at a time with a handle that remembers
 * the command's id, and ptz_socket_server_send() answers with that id.
 *
 * A message whose length field is larger than %PTZ_SOCKET_MESSAGE_MAX (it
 * logs "ptz_socket_server_command_read: Received a message larger than max
 * (2560): len=N") or smaller than the header closes its connection: the
 * stream could not be framed any more. A bare header (no payload) is read
 * and gets no callback and no reply. A connection that holds part of a
 * message too long is closed (ptz_socket_server_set_partial_timeout()).
 * The fields describe the message most recently read, for subclasses.
 */
struct _PTZSocketServerCommand
{
  PTZSocketServer parent_instance;

  gsize received;
  gsize length;
  guint32 id;
  guint8 *buffer;
  gboolean complete;
};

/**
 * PTZSocketServerCommandClass:
 * @parent_class: the parent class
 *
 * The class of #PTZSocketServerCommand.
 */
struct _PTZSocketServerCommandClass
{
  PTZSocketServerClass parent_class;
};

PTZ_API GType ptz_socket_server_command_get_type (void);
/**
 * ptz_socket_server_command_new:
 * @socket: (type filename): the path to listen at, at most 107 bytes
 * @socket_type: the socket type; the framing needs a byte stream,
 *   `SOCK_STREAM`
 *
 * Creates a command server listening at @socket, with the defaults
 * %PTZ_SOCKET_SERVER_DEFAULT_MAX_CONNECTIONS_PER_USER and
 * %PTZ_SOCKET_SERVER_DEFAULT_PARTIAL_TIMEOUT_MS and no peer policy: see
 * ptz_socket_server_new(). Register its callback with
 * ptz_socket_server_register_callback().
 *
 * Call it on the thread that iterates the default main context.
 *
 * Returns: (transfer full): the new server (release it with
 *   g_object_unref())
 */
PTZ_API PTZSocketServerCommand *ptz_socket_server_command_new (const gchar *socket, int socket_type);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketServerCommand, g_object_unref)

G_END_DECLS

#endif /* PTZ_SOCKET_SERVER_H */
