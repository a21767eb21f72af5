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
#define PTZ_SOCKET_CLIENT_GET_CLASS(obj) (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_SOCKET_CLIENT, PTZSocketClientClass))

typedef struct _PTZSocketClient PTZSocketClient;
typedef struct _PTZSocketClientClass PTZSocketClientClass;

/* Receives data. For a plain client: (callback data, bytes read, count). For
 * a data-ready client: (callback data, NULL, buffer size). For a command
 * client this is the reply dispatcher: (command user data, reply payload,
 * payload length) for a reply, (command user data, NULL, 0) for a command
 * that expired or whose connection was lost. */
typedef void (*PTZSocketClientFunc) (gpointer user_data, const gchar *data, gsize length);

struct _PTZSocketClient
{
  PTZSocket parent_instance;

  GSource *source;              /* PTZFileGSource watching the descriptor; owned */
  GMainContext *context;        /* the default main context, referenced */
  gpointer callback_data;       /* user data of the callback */
  PTZSocketClientFunc callback; /* receives data; a command client's reply dispatcher */
};

struct _PTZSocketClientClass
{
  PTZSocketClass parent_class;
};

PTZ_API GType ptz_socket_client_get_type (void);
/* A client of `type` (PTZ_TYPE_SOCKET_CLIENT or a subclass) connected to the
 * server at `socket` (reconnecting once a second while it is absent), or,
 * when `socket` is NULL and `fd` is 0 or more, on that descriptor, which stays
 * the caller's. Its source is attached to the default main context. */
PTZ_API PTZSocketClient *ptz_socket_client_new (GType type, const gchar *socket, int fd, int socket_type);
/**
 * ptz_socket_client_register_callback: (skip)
 * @client: a client
 * @callback: receives what arrives (see #PTZSocketClientFunc)
 * @user_data: data passed to @callback; a command client passes each
 *   command's own data instead
 *
 * Sets the one callback of @client.
 */
PTZ_API void ptz_socket_client_register_callback (PTZSocketClient *client, PTZSocketClientFunc callback,
                                                  gpointer user_data);
/* Resumes watching the descriptor. */
PTZ_API void ptz_socket_client_add_poll (PTZSocketClient *client);
/* Pauses watching the descriptor. */
PTZ_API void ptz_socket_client_remove_poll (PTZSocketClient *client);
/**
 * ptz_socket_client_async_send:
 * @client: a client
 * @buffer: (array length=length) (element-type guint8): the bytes
 * @length: the number of bytes
 *
 * Writes raw bytes (no framing), waiting up to 1 s. When not all could be
 * written, watching is paused until ptz_socket_client_add_poll() or the end
 * of the next synchronous send.
 *
 * Returns: %TRUE when all bytes were written
 */
PTZ_API gboolean ptz_socket_client_async_send (PTZSocketClient *client, const void *buffer, gsize length);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketClient, g_object_unref)

/* ---- PTZSocketClientSignalDataReady ------------------------------------- */

#define PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY (ptz_socket_client_signal_data_ready_get_type ())
#define PTZ_SOCKET_CLIENT_SIGNAL_DATA_READY(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY, PTZSocketClientSignalDataReady))
#define PTZ_IS_SOCKET_CLIENT_SIGNAL_DATA_READY(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY))

typedef struct _PTZSocketClientSignalDataReady PTZSocketClientSignalDataReady;
typedef struct _PTZSocketClientSignalDataReadyClass PTZSocketClientSignalDataReadyClass;

struct _PTZSocketClientSignalDataReady
{
  PTZSocketClient parent_instance;
};

struct _PTZSocketClientSignalDataReadyClass
{
  PTZSocketClientClass parent_class;
};

PTZ_API GType ptz_socket_client_signal_data_ready_get_type (void);
PTZ_API PTZSocketClient *ptz_socket_client_signal_data_ready_new (GType type, const gchar *socket, int fd,
                                                                  int socket_type);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketClientSignalDataReady, g_object_unref)

/* ---- PTZSocketClientCommand --------------------------------------------- */

#define PTZ_TYPE_SOCKET_CLIENT_COMMAND (ptz_socket_client_command_get_type ())
#define PTZ_SOCKET_CLIENT_COMMAND(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_SOCKET_CLIENT_COMMAND, PTZSocketClientCommand))
#define PTZ_IS_SOCKET_CLIENT_COMMAND(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_SOCKET_CLIENT_COMMAND))

typedef struct _PTZSocketClientCommand PTZSocketClientCommand;
typedef struct _PTZSocketClientCommandClass PTZSocketClientCommandClass;

/* Releases the user data of a command still pending when its client is
 * finalized: (command user data, free data). */
typedef void (*PTZSocketClientFreeFunc) (gpointer command_data, gpointer free_data);

/* One asynchronous command awaiting its reply. */
typedef struct _PTZSocketPendingCommand
{
  gpointer user_data;       /* never NULL */
  guint32 id;
  gint64 deadline_seconds;  /* monotonic clock: the send time plus 360 s */
  glong deadline_nanoseconds;
} PTZSocketPendingCommand;

struct _PTZSocketClientCommand
{
  PTZSocketClient parent_instance;

  gsize received;     /* end of what buffer holds: the incoming message and what came behind it */
  gsize length;       /* its total length once its header is in, else 0 */
  guint8 *buffer;     /* 10240 bytes: the incoming message, header included, and what came behind it */
  guint32 next_id;    /* id of the next message sent (drawn atomically) */
  GList *pending;     /* PTZSocketPendingCommand, oldest first */
  guint expiry_timer; /* armed expiry timer, 0 when none */
  GMutex list_lock;   /* guards pending and expiry_timer */
  GMutex io_lock;     /* guards received, length, buffer; keeps one message's writes together */
  gpointer free_data;
  PTZSocketClientFreeFunc free_callback;
};

struct _PTZSocketClientCommandClass
{
  PTZSocketClientClass parent_class;
};

PTZ_API GType ptz_socket_client_command_get_type (void);
PTZ_API PTZSocketClientCommand *ptz_socket_client_command_new (const gchar *socket, int fd, int socket_type);
/**
 * ptz_socket_client_command_sync_send: (skip)
 * @client: a command client
 * @payload: (array length=length) (element-type guint8): the command's
 *   payload
 * @length: its length, at most 2552 bytes
 * @reply: (out caller-allocates): room for 2552 bytes, the largest reply
 * @reply_length: (out) (optional): the reply's length
 *
 * Sends a command and waits up to 10 s for its reply, on the calling
 * thread. Language bindings use
 * ptz_socket_client_command_sync_send_bytes().
 *
 * Returns: %TRUE when the reply arrived and was copied
 */
PTZ_API gboolean ptz_socket_client_command_sync_send (PTZSocketClientCommand *client, const void *payload,
                                                      gsize length, void *reply, gsize *reply_length);
/**
 * ptz_socket_client_command_sync_send_bytes:
 * @client: a command client
 * @payload: the command's payload, 1 to 2552 bytes
 *
 * ptz_socket_client_command_sync_send() with the payload and the reply as
 * #GBytes, for callers that cannot lend the library a reply buffer
 * (language bindings). Waits up to 10 seconds for the reply, on the
 * calling thread; while it waits, the client's descriptor is not watched
 * by the main loop.
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
 * Sends a command; with @user_data the reply (or the expiry after 360 s)
 * is reported to the reply dispatcher later, from the default main
 * context, and the client holds @user_data until then. %NULL user data:
 * no reply is awaited.
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
 * @free_data: data passed to @free_callback
 */
PTZ_API void ptz_socket_client_command_register_free_callback (PTZSocketClientCommand *client,
                                                               PTZSocketClientFreeFunc free_callback,
                                                               gpointer free_data);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZSocketClientCommand, g_object_unref)

G_END_DECLS

#endif /* PTZ_SOCKET_CLIENT_H */
