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

/**
 * ptz_queue_setup: (skip)
 * @context: the main context that dispatches the items
 * @release: (nullable): called for every item that leaves the queue
 *   through its source
 * @priority: the priority of the queue's source
 *
 * A queue of pointers: not for language bindings, whose own queues serve.
 *
 * Returns: a new queue; free it with ptz_queue_free()
 */
PTZ_API PTZQueue *ptz_queue_setup (GMainContext *context, PTZQueueReleaseFunc release, gint priority);

/**
 * ptz_queue_set_callback: (skip)
 * @queue: a queue
 * @callback: called for every dispatched item
 * @user_data: data passed to @callback
 */
PTZ_API void ptz_queue_set_callback (PTZQueue *queue, PTZQueueCallback callback, gpointer user_data);

/**
 * ptz_queue_push: (skip)
 * @queue: a queue
 * @item: the item
 *
 * Any thread may push.
 *
 * Returns: %TRUE when the item was queued
 */
PTZ_API gboolean ptz_queue_push (PTZQueue *queue, gpointer item);

/**
 * ptz_queue_pop: (skip)
 * @queue: a queue
 *
 * Returns: (nullable): the oldest item, taken from the queue, or %NULL
 */
PTZ_API gpointer ptz_queue_pop (PTZQueue *queue);

/**
 * ptz_queue_free: (skip)
 * @queue: (nullable): a queue
 *
 * Frees the queue; items still queued are released.
 */
PTZ_API void ptz_queue_free (PTZQueue *queue);

/* g_autoptr() support: the cleanup is ptz_queue_free(). */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZQueue, ptz_queue_free)

G_END_DECLS

#endif /* PTZ_QUEUE_H */
