/* Socket endpoints of the framework's command channel.
 *
 * PTZSocket is the base class of every Unix-domain socket endpoint: a
 * listening server at a path, a client connected to a path (reconnecting once
 * a second while the server is absent), or a wrapper around a descriptor the
 * caller already holds. Its read and write wait with a time limit.
 *
 * PTZSocketSignal is a client endpoint that sends NUL-terminated text
 * notifications without framing.
 *
 * PTZFileGSource is a GLib event source watching one descriptor; watching can
 * be paused and resumed from any thread.
 *
 * The reference documents each of them below; the guide "The command
 * channel" puts them together. */
#ifndef PTZ_SOCKET_H
#define PTZ_SOCKET_H

#include <glib.h>
#include <glib-object.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/* ---- PTZSocket ---------------------------------------------------------- */

#define PTZ_TYPE_SOCKET (ptz_socket_get_type ())
#define PTZ_SOCKET(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET, PTZSocket))
#define PTZ_SOCKET_CLASS(klass) (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_SOCKET, PTZSocketClass))
#define PTZ_IS_SOCKET(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET))
#define PTZ_IS_SOCKET_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_SOCKET))
#define PTZ_SOCKET_GET_CLASS(obj) (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_SOCKET, PTZSocketClass))

/**
 * PTZ_SOCKET_ROLE_CLIENT:
 *
 * The role of an endpoint that connects to a path (see ptz_socket_new()).
 */
#define PTZ_SOCKET_ROLE_CLIENT 0
/**
 * PTZ_SOCKET_ROLE_SERVER:
 *
 * The role of an endpoint that listens at a path (see ptz_socket_new()).
 */
#define PTZ_SOCKET_ROLE_SERVER 1

typedef struct _PTZSocket PTZSocket;
typedef struct _PTZSocketClass PTZSocketClass;

/**
 * PTZSocket:
 * @socket: the socket path (the #PTZSocket:socket property), owned; %NULL
 *   for an endpoint made from a descriptor
 * @fd: the socket descriptor, -1 while it is not open: a client endpoint
 *   that is not connected (it is reconnecting), a server whose path could
 *   not be opened
 * @type: the socket type given to socket(2), such as `SOCK_STREAM`
 * @retry_source: the id of the pending reconnection timer on the default
 *   main context, 0 when none is pending
 * @role: %PTZ_SOCKET_ROLE_CLIENT or %PTZ_SOCKET_ROLE_SERVER
 *
 * The base of every Unix-domain socket endpoint of the command channel: a
 * server listening at a path, a client connected to a path, or a wrapper
 * around a descriptor the caller holds. Every descriptor it opens is
 * non-blocking, and its writes never raise `SIGPIPE`. The fields are for
 * reading: a client is connected while @fd is 0 or more.
 *
 * An endpoint owns its descriptor, and a server endpoint its socket file,
 * only when it has a path: finalizing it closes the descriptor and removes
 * the file it bound (never a file another process put there since). A
 * descriptor given to ptz_socket_fd_new() stays the caller's.
 *
 * An endpoint has no lock: use it on one thread at a time. Its
 * reconnection timer runs on the default main context (g_main_context_default()),
 * whatever thread made the endpoint, so use it on the thread that iterates
 * that context.
 */
struct _PTZSocket
{
  GObject parent_instance;

  gchar *socket;
  int fd;
  int type;
  guint retry_source;
  int role;
};

/**
 * PTZSocketClass:
 * @parent_class: the parent class
 * @read: reads with a time limit; see the virtual method
 * @write: writes with a time limit; see the virtual method
 * @add_retry: closes the descriptor and starts reconnecting; see the
 *   virtual method
 *
 * The class of #PTZSocket. The server and client classes override @read;
 * a subclass may override any slot and chain up to the parent's.
 */
struct _PTZSocketClass
{
  GObjectClass parent_class;

  int (*read) (PTZSocket *self, int fd, void *buffer, gsize length, int timeout_ms);
  int (*write) (PTZSocket *self, int fd, const void *buffer, gsize length, int timeout_ms);
  guint (*add_retry) (PTZSocket *self);
};

/**
 * PTZSocketClass::read:
 * @self: the endpoint
 * @fd: the descriptor to read, normally the endpoint's own
 * @buffer: where to put the bytes
 * @length: the most bytes to read
 * @timeout_ms: the longest wait in milliseconds; 0 does not wait
 *
 * Reads up to @length bytes. With @timeout_ms 0 it makes up to five
 * read(2) calls without waiting (pausing 1 ms after a call that finds
 * nothing) and stops at the end of the stream. Otherwise it waits for data
 * until @length bytes are in, the time is used up or the peer has closed.
 * A negative @timeout_ms reads nothing.
 *
 * The base implementation logs "socket_read: not opened <path>" (warning)
 * for a negative @fd, and "socket_read: poll returned with error: '<error>'"
 * or "socket_read: read from port failed: '<error>'" for a failure.
 *
 * Returns: the number of bytes read (0 when none came, and for a
 *   descriptor that is not open), or -1 on failure
 */

/**
 * PTZSocketClass::write:
 * @self: the endpoint
 * @fd: the descriptor to write, normally the endpoint's own
 * @buffer: the bytes
 * @length: how many
 * @timeout_ms: the longest wait in milliseconds; 0 makes one write
 *
 * Writes @length bytes. With @timeout_ms 0 it makes one write. Otherwise
 * it waits for room until every byte is written or the time is used up; a
 * peer that has gone away (`EPIPE`, `ECONNREFUSED`) ends it at once. A
 * negative @timeout_ms, or a @length of 0 with a time limit, writes
 * nothing and fails. The base implementation never raises `SIGPIPE`.
 *
 * The base implementation logs "socket_write: not opened <path>" (warning)
 * for a negative @fd, and "socket_write: send failed on: <path>, '<error>'"
 * for an unexpected failure.
 *
 * Returns: the number of bytes written when some were, 0 for a descriptor
 *   that is not open, -1 when nothing could be written
 */

/**
 * PTZSocketClass::add_retry:
 * @self: a client endpoint with a path
 *
 * Closes the endpoint's descriptor (@fd becomes -1) and makes sure a
 * reconnection timer of 1 second is pending on the default main context:
 * each time it fires it connects again, until that succeeds or the
 * endpoint is finalized. An endpoint without a path cannot reconnect (a
 * fatal assertion).
 *
 * Returns: the id of the reconnection timer
 */

PTZ_API GType ptz_socket_get_type (void);

/**
 * ptz_socket_new:
 * @type: the type to make: %PTZ_TYPE_SOCKET or a subclass
 * @role: %PTZ_SOCKET_ROLE_SERVER or %PTZ_SOCKET_ROLE_CLIENT; any other value
 *   is a fatal error
 * @socket: (nullable) (type filename): the socket path, at most 107 bytes
 * @socket_type: the socket type for socket(2), normally `SOCK_STREAM`
 *
 * Creates an endpoint at @socket. A server listens there: a file already
 * at the path (a stale socket of a crashed process) is replaced, and the
 * new socket file gets mode 0666 when the path begins with
 * "/var/run/ptz/libvelmora" (the framework's shared socket directory), 0600
 * anywhere else. A client connects to it; while that fails it tries again
 * once a second from the default main context, and logs
 * "open_client_socket: Unable to connect to '<path>': errno=N, <error>"
 * (warning) on every 300th failed attempt of the process, so a client left
 * waiting logs once every five minutes. A client without a path opens
 * nothing.
 *
 * Opening failures do not fail construction: the endpoint is returned with
 * @fd -1, and a server is then not retried. Each failure is logged, e.g.
 * "open_server_socket: Unable to bind to path '<path>' <error>.",
 * "open_server_socket: chmod failed on '<path>'.",
 * "open_server_socket: listen failed." or, for a path longer than 107
 * bytes, "open_server_socket: server_addr.sun_path too short(truncated)."
 * (open_client_socket for a client).
 *
 * Use the constructors of the subclasses (ptz_socket_server_new(),
 * ptz_socket_client_new(), ...) rather than this one for them.
 *
 * Call it on the thread that iterates the default main context.
 *
 * Returns: (transfer full): the new endpoint (release it with
 *   g_object_unref())
 */
PTZ_API PTZSocket *ptz_socket_new (GType type, int role, const gchar *socket, int socket_type);

/**
 * ptz_socket_fd_new:
 * @type: the type to make: %PTZ_TYPE_SOCKET or a subclass
 * @role: %PTZ_SOCKET_ROLE_SERVER or %PTZ_SOCKET_ROLE_CLIENT
 * @fd: an open descriptor; it stays the caller's, and finalizing the
 *   endpoint leaves it open
 * @socket_type: the socket type of @fd
 *
 * Wraps a descriptor the caller already holds, for instance one end of a
 * socketpair(2). Nothing is opened, and the endpoint never reconnects.
 *
 * Call it on the thread that iterates the default main context.
 *
 * Returns: (transfer full): the new endpoint (release it with
 *   g_object_unref())
 */
PTZ_API PTZSocket *ptz_socket_fd_new (GType type, int role, int fd, int socket_type);

/**
 * ptz_socket_finalize: (skip)
 * @object: a #PTZSocket being finalized
 *
 * The finalize of #PTZSocket, for subclasses written in C to chain to:
 * removes the reconnection timer and, for an endpoint with a path, closes
 * the descriptor and removes the socket file a server bound. A failed
 * removal logs "ptz_socket_finalize: Failed to unlink <path>".
 */
PTZ_API void ptz_socket_finalize (GObject *object);

/**
 * PTZSocket:socket:
 *
 * The socket path, set when the endpoint is created (write-only).
 */

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocket, g_object_unref)

/* ---- PTZSocketSignal ---------------------------------------------------- */

#define PTZ_TYPE_SOCKET_SIGNAL (ptz_socket_signal_get_type ())
#define PTZ_SOCKET_SIGNAL(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_SIGNAL, PTZSocketSignal))
#define PTZ_SOCKET_SIGNAL_CLASS(klass) (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_SOCKET_SIGNAL, PTZSocketSignalClass))
#define PTZ_IS_SOCKET_SIGNAL(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_SIGNAL))
#define PTZ_IS_SOCKET_SIGNAL_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_SOCKET_SIGNAL))
#define PTZ_SOCKET_SIGNAL_GET_CLASS(obj) \
  (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_SOCKET_SIGNAL, PTZSocketSignalClass))

typedef struct _PTZSocketSignal PTZSocketSignal;
typedef struct _PTZSocketSignalClass PTZSocketSignalClass;

/**
 * PTZSocketSignal:
 *
 * A client endpoint that sends short text notifications (each a
 * NUL-terminated string, without framing) to the server listening at its
 * path, typically a plain #PTZSocketServer. It connects and reconnects like
 * every client endpoint (see ptz_socket_new()). Use it on the thread that
 * iterates the default main context.
 */
struct _PTZSocketSignal
{
  PTZSocket parent_instance;
};

/**
 * PTZSocketSignalClass:
 * @parent_class: the parent class
 *
 * The class of #PTZSocketSignal.
 */
struct _PTZSocketSignalClass
{
  PTZSocketClass parent_class;
};

PTZ_API GType ptz_socket_signal_get_type (void);
/**
 * ptz_socket_signal_new:
 * @socket: (type filename): the path of the server
 * @socket_type: the socket type, normally `SOCK_STREAM`
 *
 * Creates a client endpoint that sends notifications to the server at
 * @socket, connecting at once or, while the server is absent, once a second
 * from the default main context (see ptz_socket_new()).
 *
 * Call it on the thread that iterates the default main context.
 *
 * Returns: (transfer full): the new endpoint (release it with
 *   g_object_unref())
 */
PTZ_API PTZSocketSignal *ptz_socket_signal_new (const gchar *socket, int socket_type);
/**
 * ptz_socket_signal_emit:
 * @self: (nullable): the endpoint; %NULL does nothing
 * @text: (nullable): the notification; %NULL does nothing
 *
 * Sends @text and its terminating NUL, each write waiting at most 100 ms
 * for room. While the endpoint is not connected the notification is
 * dropped, silently. A send that cannot write everything closes the
 * descriptor and starts reconnecting (#PTZSocketClass.add_retry); nothing
 * tells the caller, and what was not written is lost.
 *
 * Call it on the thread that iterates the default main context.
 */
PTZ_API void ptz_socket_signal_emit (PTZSocketSignal *self, const gchar *text);

/**
 * ptz_socket_signal_finalize: (skip)
 * @object: a #PTZSocketSignal being finalized
 *
 * The finalize of #PTZSocketSignal, for subclasses written in C to chain
 * to; it chains to ptz_socket_finalize().
 */
PTZ_API void ptz_socket_signal_finalize (GObject *object);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketSignal, g_object_unref)

/* ---- PTZFileGSource ----------------------------------------------------- */

typedef struct _PTZFileGSource PTZFileGSource;

/**
 * PTZFileGSource:
 * @source: the #GSource it is
 * @tag: the registration of @fd with the source (g_source_add_unix_fd()),
 *   %NULL while watching is paused
 * @fd: the watched descriptor
 * @lock: guards @tag
 *
 * A #GSource that watches one descriptor for input, errors and hang-up and
 * calls its #PTZFileGSourceFunc when the descriptor is readable. Watching
 * can be paused (ptz_file_g_source_remove_poll()) and resumed
 * (ptz_file_g_source_add_poll()) from any thread while the source's main
 * context dispatches it on another; the lock is never held while the
 * callback runs. When the peer hangs up, or the descriptor reports an
 * error, the source pauses itself without calling the callback and stays
 * paused until ptz_file_g_source_add_poll(). The socket clients are driven
 * by one. The fields are for reading.
 */
struct _PTZFileGSource
{
  GSource source;

  gpointer tag;
  int fd;
  GMutex lock;
};

/**
 * PTZFileGSourceFunc:
 * @user_data: the data given with the callback
 * @condition: what the descriptor reported (%G_IO_IN or %G_IO_PRI among
 *   them)
 *
 * The callback of a #PTZFileGSource, given to ptz_file_g_source_add() or
 * set with g_source_set_callback() (cast to #GSourceFunc). It runs on the
 * thread that iterates the source's main context, when the descriptor is
 * readable.
 *
 * Returns: %FALSE to remove the source, %TRUE to keep watching
 */
typedef gboolean (*PTZFileGSourceFunc) (gpointer user_data, GIOCondition condition);

/**
 * ptz_file_g_source_new:
 * @fd: the descriptor to watch; it stays the caller's
 *
 * Creates a source watching @fd for input, errors and hang-up. It is not
 * attached: set its callback with g_source_set_callback() (a
 * #PTZFileGSourceFunc cast to #GSourceFunc) and attach it with
 * g_source_attach(). Any thread may call it.
 *
 * Returns: (transfer full): the new source (release it with
 *   g_source_unref(); g_source_destroy() removes it from its context)
 */
PTZ_API GSource *ptz_file_g_source_new (int fd);
/**
 * ptz_file_g_source_add: (skip)
 * @fd: the descriptor to watch
 * @callback: called when @fd is readable; %FALSE removes the source
 * @user_data: data passed to @callback
 *
 * Creates a source on @fd with @callback and attaches it to the default
 * main context, which then holds the only reference: the source lives until
 * @callback returns %FALSE or g_source_remove() is called with the id. Any
 * thread may call it. Language bindings watch descriptors with their own
 * main loop functions.
 *
 * Returns: the source's id (g_source_remove() removes it)
 */
PTZ_API guint ptz_file_g_source_add (int fd, PTZFileGSourceFunc callback, gpointer user_data);
/**
 * ptz_file_g_source_get_fd:
 * @source: a #PTZFileGSource
 *
 * Any thread may call it.
 *
 * Returns: the descriptor @source watches
 */
PTZ_API int ptz_file_g_source_get_fd (GSource *source);
/**
 * ptz_file_g_source_add_poll:
 * @source: a #PTZFileGSource
 *
 * Resumes watching the descriptor (after ptz_file_g_source_remove_poll() or
 * a hang-up); nothing happens when it is watched already. Any thread may
 * call it.
 */
PTZ_API void ptz_file_g_source_add_poll (GSource *source);
/**
 * ptz_file_g_source_remove_poll:
 * @source: a #PTZFileGSource
 *
 * Pauses watching the descriptor: the callback is not called until
 * ptz_file_g_source_add_poll(). Nothing happens when it is paused already.
 * Any thread may call it.
 */
PTZ_API void ptz_file_g_source_remove_poll (GSource *source);

G_END_DECLS

#endif /* PTZ_SOCKET_H */
