/* Sending side of the framework's socket channel.
 *
 * PTZSocketClient is a client endpoint whose descriptor is watched by a
 * descriptor source on the default main context; every chunk that arrives
 * goes to one registered callback.
 *
 * PTZSocketClientSignalDataReady only tells its callback that the descriptor
 * is readable (data NULL, length the buffer size) and leaves the reading to it.
 *
 * PTZSocketClientCommand speaks the command framing of PTZSocketServerCommand:
 * every message gets an id; a synchronous send waits up to 10 seconds for the
 * reply with the same id, an asynchronous send registers the command so that
 * its reply, or its expiry after 360 seconds, reaches the reply dispatcher
 * (the callback) later from the default main context. */
#ifndef PTZ_SOCKET_CLIENT_H
#define PTZ_SOCKET_CLIENT_H

#include <glib.h>
#include <glib-object.h>

#include "ptz_export.h"
#include "ptz_socket.h"

G_BEGIN_DECLS

/* ---- PTZSocketClient ---------------------------------------------------- */

#define PTZ_TYPE_SOCKET_CLIENT (ptz_socket_client_get_type ())
#define PTZ_SOCKET_CLIENT(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_CLIENT, PTZSocketClient))
#define PTZ_SOCKET_CLIENT_CLASS(klass) (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_SOCKET_CLIENT, PTZSocketClientClass))
#define PTZ_IS_SOCKET_CLIENT(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_CLIENT))
#define PTZ_IS_SOCKET_CLIENT_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_SOCKET_CLIENT))
#define PTZ_SOCKET_CLIENT_GET_CLASS(obj) \
  (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_SOCKET_CLIENT, PTZSocketClientClass))

typedef struct _PTZSocketClient PTZSocketClient;
typedef struct _PTZSocketClientClass PTZSocketClientClass;

/**
 * PTZSocketClientFunc:
 * @user_data: for a plain or data-ready client, the data given with the
 *   callback; for a command client, the data of the command answered
 * @data: (nullable) (array length=length) (element-type guint8): what
 *   arrived (see below), valid only during the call
 * @length: the number of bytes of @data
 *
 * The one callback of a socket client, called on the thread that iterates
 * the default main context:
 *
 * - a plain #PTZSocketClient: (callback data, the bytes read, their
 *   count), up to 2560 bytes at a time as they arrive;
 * - a #PTZSocketClientSignalDataReady: (callback data, %NULL, 2560) when
 *   the descriptor is readable; the callback reads it itself;
 * - a #PTZSocketClientCommand, whose callback is its reply dispatcher:
 *   (the command's user data, the reply's payload, its length) for a reply
 *   to an asynchronous command, with a NUL one byte past the payload; and
 *   (the command's user data, %NULL, 0) for a command that expired (no
 *   reply within 360 seconds) or whose connection was lost. Each command
 *   with user data reaches it exactly once, with no lock of the client
 *   held, so it may send again on the same client; the client forgets the
 *   user data afterwards, so the dispatcher releases it.
 */
typedef void (*PTZSocketClientFunc) (gpointer user_data, const gchar *data, gsize length);

/**
 * PTZSocketClient:
 * @source: the #PTZFileGSource watching the descriptor; owned
 * @context: the default main context, referenced
 * @callback_data: the user data of the callback
 * @callback: receives what arrives; a command client's reply dispatcher
 *
 * A client endpoint whose descriptor is watched from the default main
 * context; what arrives goes to its one callback (#PTZSocketClientFunc).
 * A client with a path connects at once or, while its server is absent,
 * once a second (see ptz_socket_new()); when the connection is lost (the
 * server hangs up or goes away, a read meets the end of the stream) it
 * stops watching, closes the descriptor and reconnects, and it watches
 * the new descriptor from then on: a client outlives restarts of its
 * server. What the server wrote before it went away is delivered first.
 * A client made from a descriptor never reconnects.
 *
 * The fields are for reading. The callback runs on the thread that
 * iterates the default main context.
 */
struct _PTZSocketClient
{
  PTZSocket parent_instance;

  GSource *source;
  GMainContext *context;
  gpointer callback_data;
  PTZSocketClientFunc callback;
};

/**
 * PTZSocketClientClass:
 * @parent_class: the parent class
 *
 * The class of #PTZSocketClient.
 */
struct _PTZSocketClientClass
{
  PTZSocketClass parent_class;
};

PTZ_API GType ptz_socket_client_get_type (void);
/**
 * ptz_socket_client_new:
 * @type: %PTZ_TYPE_SOCKET_CLIENT or a subclass (another type is refused
 *   with a critical and gives %NULL)
 * @socket: (nullable) (type filename): the path of the server
 * @fd: with @socket %NULL, a connected descriptor to use (it stays the
 *   caller's); ignored when it is negative or a path is given
 * @socket_type: the socket type, normally `SOCK_STREAM`
 *
 * Creates a client connected to the server at @socket, reconnecting once a
 * second from the default main context while it is absent (see
 * ptz_socket_new()), or one on @fd. Its source is attached to the default
 * main context. Set its callback with ptz_socket_client_register_callback().
 *
 * Call it on the thread that iterates the default main context.
 *
 * Returns: (transfer full) (nullable): the new client (release it with
 *   g_object_unref()), or %NULL for a wrong @type
 */
PTZ_API PTZSocketClient *ptz_socket_client_new (GType type, const gchar *socket, int fd, int socket_type);
/**
 * ptz_socket_client_register_callback: (skip)
 * @client: a client
 * @callback: receives what arrives (see #PTZSocketClientFunc)
 * @user_data: data passed to @callback; a command client passes each
 *   command's own data instead. It stays the caller's
 *
 * Sets the one callback of @client, replacing the one before; until one is
 * set, what arrives is read and dropped. Set it before the client is used
 * (it is not locked), on the thread that iterates the default main
 * context.
 */
PTZ_API void ptz_socket_client_register_callback (PTZSocketClient *client, PTZSocketClientFunc callback,
                                                  gpointer user_data);
/**
 * ptz_socket_client_add_poll:
 * @client: a client
 *
 * Resumes watching the descriptor (paused by
 * ptz_socket_client_remove_poll() or by a failed raw send). A client whose
 * connection was lost is watched again by itself once it has reconnected.
 * Any thread may call it.
 */
PTZ_API void ptz_socket_client_add_poll (PTZSocketClient *client);
/**
 * ptz_socket_client_remove_poll:
 * @client: a client
 *
 * Pauses watching the descriptor: nothing is read from the main loop, and
 * the callback is not called, until ptz_socket_client_add_poll() (or the
 * end of a synchronous send of a command client). Any thread may call it.
 */
PTZ_API void ptz_socket_client_remove_poll (PTZSocketClient *client);
/**
 * ptz_socket_client_async_send:
 * @client: a client
 * @buffer: (array length=length) (element-type guint8): the bytes
 * @length: the number of bytes
 *
 * Writes raw bytes (no framing), waiting up to 1 s for room. When not all
 * could be written, watching is paused until ptz_socket_client_add_poll()
 * or the end of the next synchronous send, and a peer that has gone away
 * makes the client reconnect. While the client is not connected nothing
 * is written ("socket_write: not opened <path>" is logged). Any thread may
 * call it; on a command client it waits for a synchronous send of another
 * thread to end.
 *
 * Returns: %TRUE when all bytes were written
 */
PTZ_API gboolean ptz_socket_client_async_send (PTZSocketClient *client, const void *buffer, gsize length);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketClient, g_object_unref)

/* ---- PTZSocketClientSignalDataReady ------------------------------------- */

#define PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY (ptz_socket_client_signal_data_ready_get_type ())
#define PTZ_SOCKET_CLIENT_SIGNAL_DATA_READY(obj) \
  (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY, PTZSocketClientSignalDataReady))
#define PTZ_IS_SOCKET_CLIENT_SIGNAL_DATA_READY(obj) \
  (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY))

typedef struct _PTZSocketClientSignalDataReady PTZSocketClientSignalDataReady;
typedef struct _PTZSocketClientSignalDataReadyClass PTZSocketClientSignalDataReadyClass;

/**
 * PTZSocketClientSignalDataReady:
 *
 * A client that only tells its callback that the descriptor is readable:
 * the callback gets (callback data, %NULL, 2560) and reads the descriptor
 * (the endpoint's @fd) itself. It connects, reconnects and follows the new
 * descriptor like every #PTZSocketClient.
 */
struct _PTZSocketClientSignalDataReady
{
  PTZSocketClient parent_instance;
};

/**
 * PTZSocketClientSignalDataReadyClass:
 * @parent_class: the parent class
 *
 * The class of #PTZSocketClientSignalDataReady.
 */
struct _PTZSocketClientSignalDataReadyClass
{
  PTZSocketClientClass parent_class;
};

PTZ_API GType ptz_socket_client_signal_data_ready_get_type (void);
/**
 * ptz_socket_client_signal_data_ready_new:
 * @type: %PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY or a subclass
 * @socket: (nullable) (type filename): the path of the server
 * @fd: with @socket %NULL, a connected descriptor to use (it stays the
 *   caller's)
 * @socket_type: the socket type
 *
 * The same as ptz_socket_client_new().
 *
 * Call it on the thread that iterates the default main context.
 *
 * Returns: (transfer full) (nullable): the new client, or %NULL for a
 *   wrong @type
 */
PTZ_API PTZSocketClient *ptz_socket_client_signal_data_ready_new (GType type, const gchar *socket, int fd,
                                                                  int socket_type);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketClientSignalDataReady, g_object_unref)

/* ---- PTZSocketClientCommand --------------------------------------------- */

#define PTZ_TYPE_SOCKET_CLIENT_COMMAND (ptz_socket_client_command_get_type ())
#define PTZ_SOCKET_CLIENT_COMMAND(obj) \
  (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_CLIENT_COMMAND, PTZSocketClientCommand))
#define PTZ_IS_SOCKET_CLIENT_COMMAND(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_CLIENT_COMMAND))

typedef struct _PTZSocketClientCommand PTZSocketClientCommand;
typedef struct _PTZSocketClientCommandClass PTZSocketClientCommandClass;

/**
 * PTZSocketClientFreeFunc:
 * @command_data: the user data of a command still waiting for its reply
 * @free_data: the data given to
 *   ptz_socket_client_command_register_free_callback()
 *
 * Releases the user data of a command that is still pending when its
 * client is finalized (such a command never reaches the reply dispatcher).
 * Called during the client's finalization, on the thread that drops the
 * last reference.
 */
typedef void (*PTZSocketClientFreeFunc) (gpointer command_data, gpointer free_data);

/**
 * PTZSocketPendingCommand:
 * @user_data: the command's user data, never %NULL
 * @id: the command's message id
 * @deadline_seconds: when it expires, on the monotonic clock: seconds
 * @deadline_nanoseconds: when it expires: nanoseconds
 *
 * One asynchronous command awaiting its reply, in the @pending list of its
 * #PTZSocketClientCommand. The client owns the entries; read them only
 * with the client's @list_lock held.
 */
typedef struct _PTZSocketPendingCommand
{
  gpointer user_data;
  guint32 id;
  gint64 deadline_seconds;
  glong deadline_nanoseconds;
} PTZSocketPendingCommand;

/**
 * PTZSocketClientCommand:
 * @received: the end of what @buffer holds: the incoming message and what
 *   came behind it
 * @length: its total length once its header is in, else 0
 * @buffer: 10240 bytes holding the incoming message, header included, and
 *   the replies that came behind it; owned
 * @next_id: the id of the next message sent
 * @pending: the #PTZSocketPendingCommand entries awaiting a reply, oldest
 *   first
 * @expiry_timer: the id of the armed expiry timer, 0 when none
 * @list_lock: guards @pending and @expiry_timer
 * @io_lock: guards @received, @length and @buffer, and keeps each message's
 *   bytes together
 * @free_data: the data of @free_callback
 * @free_callback: releases the data of commands still pending at
 *   finalization
 *
 * The commanding side of the command channel: the peer of
 * #PTZSocketServerCommand, speaking its framing. Every message it sends
 * gets the next id (0 for the first, then 1, 2, ..., wrapping after
 * 2^32 - 1), drawn atomically. ptz_socket_client_command_sync_send() waits
 * up to 10 seconds for the reply with the same id;
 * ptz_socket_client_command_async_send() returns at once, and the reply,
 * or the command's expiry after 360 seconds, reaches the reply dispatcher
 * (the client's callback) later from the default main context. Replies
 * that wait in the socket when a new command is sent reach their commands
 * first.
 *
 * A lost connection (the server hangs up or goes away, a read meets the
 * end of the stream, or the stream cannot be framed any more) makes every
 * pending asynchronous command reach the dispatcher as expired at once,
 * and a client with a path reconnects; sends while it is not connected
 * fail at once.
 *
 * Sends may come from any thread: one @io_lock serialises the exchanges,
 * so a synchronous send holds up other senders of the same client for its
 * whole wait. The fields are for reading, with the locks they name held.
 */
struct _PTZSocketClientCommand
{
  PTZSocketClient parent_instance;

  gsize received;
  gsize length;
  guint8 *buffer;
  guint32 next_id;
  GList *pending;
  guint expiry_timer;
  GMutex list_lock;
  GMutex io_lock;
  gpointer free_data;
  PTZSocketClientFreeFunc free_callback;
};

/**
 * PTZSocketClientCommandClass:
 * @parent_class: the parent class
 *
 * The class of #PTZSocketClientCommand.
 */
struct _PTZSocketClientCommandClass
{
  PTZSocketClientClass parent_class;
};

PTZ_API GType ptz_socket_client_command_get_type (void);
/**
 * ptz_socket_client_command_new:
 * @socket: (nullable) (type filename): the path of the command server
 * @fd: with @socket %NULL, a connected descriptor to use (it stays the
 *   caller's)
 * @socket_type: the socket type; the framing needs a byte stream,
 *   `SOCK_STREAM`
 *
 * Creates a command client connected to the server at @socket (or
 * reconnecting once a second while it is absent; see ptz_socket_new()).
 * Set its reply dispatcher with ptz_socket_client_register_callback()
 * before sending asynchronous commands.
 *
 * Call it on the thread that iterates the default main context.
 *
 * Returns: (transfer full): the new client (release it with
 *   g_object_unref(); commands still pending then go to the free callback)
 */
PTZ_API PTZSocketClientCommand *ptz_socket_client_command_new (const gchar *socket, int fd, int socket_type);
/**
 * ptz_socket_client_command_sync_send: (skip)
 * @client: a command client
 * @payload: (array length=length) (element-type guint8): the command's
 *   payload
 * @length: its length, at most 2552 bytes
 * @reply: (out caller-allocates) (optional): room for 2552 bytes, the
 *   largest reply; %NULL does not copy it
 * @reply_length: (out) (optional): the reply's length
 *
 * Sends a command and waits up to 10 seconds (monotonic clock) for its
 * reply, on the calling thread. Replies already waiting in the socket are
 * delivered to their commands first. While it waits, the main loop does
 * not read the client, and a reply to an asynchronous command that
 * arrives meanwhile reaches the dispatcher later, from the default main
 * context; other messages are dropped.
 *
 * Any thread may call it. On the thread that iterates the default main
 * context it blocks the main loop for up to 10 seconds, and other threads
 * sending on the same client wait for it.
 *
 * It fails when the payload is too long ("ptz_socket_client_command_sync_send:
 * Payload of N bytes exceeds the largest message (2552)"), when the client
 * is not connected or the command cannot be written (the write's lines,
 * e.g. "socket_write: not opened <path>"), and when no reply comes in time
 * or the connection is lost while it waits
 * ("ptz_socket_client_command_sync_send: Timeout waiting for response to
 * message N!", a warning). @reply and @reply_length are then untouched.
 * Language bindings use ptz_socket_client_command_sync_send_bytes().
 *
 * Returns: %TRUE when the reply arrived and was copied
 */
PTZ_API gboolean ptz_socket_client_command_sync_send (PTZSocketClientCommand *client, const void *payload, gsize length,
                                                      void *reply, gsize *reply_length);
/**
 * ptz_socket_client_command_sync_send_bytes:
 * @client: a command client
 * @payload: the command's payload, 1 to 2552 bytes
 *
 * ptz_socket_client_command_sync_send() with the payload and the reply as
 * #GBytes, for callers that cannot lend the library a reply buffer
 * (language bindings). Waits up to 10 seconds for the reply, on the
 * calling thread; while it waits, the client's descriptor is not watched
 * by the main loop. Any thread may call it.
 *
 * Returns: (transfer full) (nullable): the reply's payload, or %NULL when
 *   the command could not be sent, no reply came in time, or the
 *   connection was lost (each logged)
 */
PTZ_API GBytes *ptz_socket_client_command_sync_send_bytes (PTZSocketClientCommand *client, GBytes *payload);
/**
 * ptz_socket_client_command_async_send: (skip)
 * @client: a command client
 * @payload: (array length=length) (element-type guint8): the command's
 *   payload
 * @length: its length, at most 2552 bytes
 * @user_data: (nullable): the command's data
 *
 * Sends a command and returns without waiting. With @user_data the reply
 * is reported to the reply dispatcher (the client's callback) later, on
 * the thread that iterates the default main context: (@user_data, payload,
 * length) for the reply, or (@user_data, %NULL, 0) when no reply came
 * within 360 seconds (a reply after that is dropped) or the connection was
 * lost. From a successful send until then the client holds @user_data; a
 * command still pending when the client is finalized goes to the free
 * callback (ptz_socket_client_command_register_free_callback()) instead.
 * With %NULL user data no reply is awaited and the reply is dropped.
 *
 * It fails when the payload is too long (logged as for
 * ptz_socket_client_command_sync_send()) or the command cannot be written:
 * "ptz_socket_client_command_async_send: Failed to async_send id=N" (info),
 * preceded by "...: Failed to send body" when only the header went out.
 * @user_data then stays the caller's, and watching is paused until the
 * next synchronous send or ptz_socket_client_add_poll().
 *
 * Any thread may call it.
 *
 * Returns: %TRUE when the command was written
 */
PTZ_API gboolean ptz_socket_client_command_async_send (PTZSocketClientCommand *client, const void *payload,
                                                       gsize length, gpointer user_data);
/**
 * ptz_socket_client_command_register_free_callback: (skip)
 * @client: a command client
 * @free_callback: releases the data of a command still pending when
 *   @client is finalized
 * @free_data: data passed to @free_callback; it stays the caller's
 *
 * Sets what releases the user data of the commands that are still pending
 * when @client is finalized. Without it, that data is forgotten. Set it
 * before sending.
 *
 * Call it on the thread that iterates the default main context.
 */
PTZ_API void ptz_socket_client_command_register_free_callback (PTZSocketClientCommand *client,
                                                               PTZSocketClientFreeFunc free_callback,
                                                               gpointer free_data);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketClientCommand, g_object_unref)

G_END_DECLS

#endif /* PTZ_SOCKET_CLIENT_H */
