/* A thread-safe first-in first-out queue of pointers bound to one GLib main
 * context: producers on any thread push items, and the items are handed one
 * by one to a callback on the thread that iterates that context. */
#ifndef PTZ_QUEUE_H
#define PTZ_QUEUE_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

typedef struct _PTZQueue PTZQueue;

/* Called on the context's thread for every dispatched item. Returning FALSE
 * for the last item of a dispatch pass stops all further dispatching. */
typedef gboolean (*PTZQueueCallback) (gpointer user_data, gpointer item);

/* Called once for every item that leaves the queue through its source (after
 * its callback, or when the queue is freed with items still queued). */
typedef void (*PTZQueueReleaseFunc) (gpointer item);

PTZ_API PTZQueue *ptz_queue_setup (GMainContext *context, PTZQueueReleaseFunc release, gint priority);
PTZ_API void ptz_queue_set_callback (PTZQueue *queue, PTZQueueCallback callback, gpointer user_data);
PTZ_API gboolean ptz_queue_push (PTZQueue *queue, gpointer item);
PTZ_API gpointer ptz_queue_pop (PTZQueue *queue);
PTZ_API void ptz_queue_free (PTZQueue *queue);

/* g_autoptr() support: the cleanup is ptz_queue_free(). */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZQueue, ptz_queue_free)

G_END_DECLS

#endif /* PTZ_QUEUE_H */
