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
 * be paused and resumed from any thread. */
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

/* Roles of an endpoint. */
#define PTZ_SOCKET_ROLE_CLIENT 0
#define PTZ_SOCKET_ROLE_SERVER 1

typedef struct _PTZSocket PTZSocket;
typedef struct _PTZSocketClass PTZSocketClass;

struct _PTZSocket
{
  GObject parent_instance;

  gchar *socket;      /* socket path ("socket" property); NULL without path */
  int fd;             /* socket descriptor, -1 while not open */
  int type;           /* socket type given to socket(2) */
  guint retry_source; /* id of the pending reconnection timer, 0 when none */
  int role;           /* PTZ_SOCKET_ROLE_CLIENT or PTZ_SOCKET_ROLE_SERVER */
};

struct _PTZSocketClass
{
  GObjectClass parent_class;

  /* Reads up to length bytes from fd, waiting at most timeout_ms (0: no
   * waiting). Returns the byte count, 0 for a descriptor that is not open,
   * -1 on failure. */
  int (*read) (PTZSocket *self, int fd, void *buffer, gsize length, int timeout_ms);
  /* Writes length bytes to fd, waiting at most timeout_ms (0: one write).
   * Returns the byte count written, 0 for a descriptor that is not open,
   * -1 on failure. */
  int (*write) (PTZSocket *self, int fd, const void *buffer, gsize length, int timeout_ms);
  /* Closes the descriptor and makes sure a reconnection timer is pending;
   * returns the timer's id. */
  guint (*add_retry) (PTZSocket *self);
};

PTZ_API GType ptz_socket_get_type (void);

/* Creates an endpoint of `type` (PTZ_TYPE_SOCKET or a subclass). A server
 * (role 1) listens at `socket`; a client (role 0) connects to it and
 * reconnects once a second while that fails. The endpoint is returned also
 * when opening failed; its fd is then -1. */
PTZ_API PTZSocket *ptz_socket_new (GType type, int role, const gchar *socket, int socket_type);

/* Wraps a descriptor the caller keeps owning; nothing is opened. */
PTZ_API PTZSocket *ptz_socket_fd_new (GType type, int role, int fd, int socket_type);

/**
 * ptz_socket_finalize: (skip)
 * @object: a #PTZSocket being finalized
 *
 * The finalize of #PTZSocket, for subclasses written in C to chain to.
 */
PTZ_API void ptz_socket_finalize (GObject *object);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocket, g_object_unref)

/* ---- PTZSocketSignal ---------------------------------------------------- */

#define PTZ_TYPE_SOCKET_SIGNAL (ptz_socket_signal_get_type ())
#define PTZ_SOCKET_SIGNAL(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_SIGNAL, PTZSocketSignal))
#define PTZ_SOCKET_SIGNAL_CLASS(klass) (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_SOCKET_SIGNAL, PTZSocketSignalClass))
#define PTZ_IS_SOCKET_SIGNAL(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_SIGNAL))
#define PTZ_IS_SOCKET_SIGNAL_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_SOCKET_SIGNAL))
#define PTZ_SOCKET_SIGNAL_GET_CLASS(obj) (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_SOCKET_SIGNAL, PTZSocketSignalClass))

typedef struct _PTZSocketSignal PTZSocketSignal;
typedef struct _PTZSocketSignalClass PTZSocketSignalClass;

struct _PTZSocketSignal
{
  PTZSocket parent_instance;
};

struct _PTZSocketSignalClass
{
  PTZSocketClass parent_class;
};

PTZ_API GType ptz_socket_signal_get_type (void);
/* A client endpoint sending notifications to the server at `socket`. */
PTZ_API PTZSocketSignal *ptz_socket_signal_new (const gchar *socket, int socket_type);
/**
 * ptz_socket_signal_emit:
 * @self: (nullable): the endpoint; %NULL does nothing
 * @text: the notification
 *
 * Sends @text and its terminating NUL; dropped while not connected. A
 * failed send closes the descriptor and starts reconnecting.
 */
PTZ_API void ptz_socket_signal_emit (PTZSocketSignal *self, const gchar *text);

/**
 * ptz_socket_signal_finalize: (skip)
 * @object: a #PTZSocketSignal being finalized
 *
 * The finalize of #PTZSocketSignal, for subclasses written in C to chain
 * to.
 */
PTZ_API void ptz_socket_signal_finalize (GObject *object);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketSignal, g_object_unref)

/* ---- PTZFileGSource ----------------------------------------------------- */

typedef struct _PTZFileGSource PTZFileGSource;

struct _PTZFileGSource
{
  GSource source;

  gpointer tag; /* registration of fd with the source; NULL while paused */
  int fd;       /* the watched descriptor */
  GMutex lock;  /* guards tag */
};

/* Callback of a PTZFileGSource, set with g_source_set_callback (cast to
 * GSourceFunc) or given to ptz_file_g_source_add. Called when the descriptor
 * is readable; FALSE removes the source. */
typedef gboolean (*PTZFileGSourceFunc) (gpointer user_data, GIOCondition condition);

/* A new, unattached source watching fd for input, errors and hang-up. */
PTZ_API GSource *ptz_file_g_source_new (int fd);
/**
 * ptz_file_g_source_add: (skip)
 * @fd: the descriptor to watch
 * @callback: called when @fd is readable; %FALSE removes the source
 * @user_data: data passed to @callback
 *
 * Creates a source on @fd with @callback and attaches it to the default
 * main context. Language bindings watch descriptors with their own main
 * loop functions.
 *
 * Returns: the source's id
 */
PTZ_API guint ptz_file_g_source_add (int fd, PTZFileGSourceFunc callback, gpointer user_data);
PTZ_API int ptz_file_g_source_get_fd (GSource *source);
/* Resumes watching (any thread). */
PTZ_API void ptz_file_g_source_add_poll (GSource *source);
/* Pauses watching (any thread). */
PTZ_API void ptz_file_g_source_remove_poll (GSource *source);

G_END_DECLS

#endif /* PTZ_SOCKET_H */
