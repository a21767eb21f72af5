/* A thread-safe first-in first-out queue of pointers bound to one GLib main
 * context: producers on any thread push items, and the items are handed one
 * by one to a callback on the thread that iterates that context. */
#ifndef PTZ_QUEUE_H
#define PTZ_QUEUE_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * PTZQueue:
 *
 * A first-in first-out queue of pointers bound to one main context (opaque):
 * producers on any thread push items, and its event source hands them, one
 * by one and in push order, to a callback on the thread that iterates that
 * context. The queue neither copies nor looks at its items; it owns them
 * from their push until the callback has had them (and the release
 * function, if any, has released them), until ptz_queue_pop() hands one
 * back, or until ptz_queue_free().
 */
typedef struct _PTZQueue PTZQueue;

/**
 * PTZQueueCallback:
 * @user_data: the data given to ptz_queue_set_callback()
 * @item: an item, oldest first
 *
 * Receives every dispatched item, on the thread that iterates the queue's
 * context. Items pushed while it runs are dispatched in the same pass.
 *
 * Returns: %FALSE for the last item of a pass removes the queue's source
 *   from its context: nothing is dispatched again (what %FALSE returns for
 *   other items is ignored)
 */
typedef gboolean (*PTZQueueCallback) (gpointer user_data, gpointer item);

/**
 * PTZQueueReleaseFunc:
 * @item: the item leaving the queue
 *
 * Called once for every item that leaves the queue through its source:
 * after its callback, also when no callback is set, or when the queue is
 * freed with the item still queued. It runs on the thread that iterates
 * the context (or that frees the queue). Items taken with ptz_queue_pop()
 * are not passed to it.
 */
typedef void (*PTZQueueReleaseFunc) (gpointer item);

/**
 * ptz_queue_setup: (skip)
 * @context: the main context that dispatches the items, not %NULL (a fatal
 *   assertion); the queue holds a reference
 * @release: (nullable): called for every item that leaves the queue
 *   through its source
 * @priority: the priority of the queue's source, such as
 *   %G_PRIORITY_DEFAULT
 *
 * Creates a queue and attaches its source to @context. Set its callback
 * with ptz_queue_set_callback(). Any thread may call it. Not for language
 * bindings, whose own queues serve.
 *
 * Returns: (transfer full): a new queue; free it with ptz_queue_free()
 */
PTZ_API PTZQueue *ptz_queue_setup (GMainContext *context, PTZQueueReleaseFunc release, gint priority);

/**
 * ptz_queue_set_callback: (skip)
 * @queue: a queue
 * @callback: called for every dispatched item
 * @user_data: data passed to @callback; it stays the caller's
 *
 * Sets the callback, replacing the one before. Until one is set, items
 * still leave the queue, through the release function only. Set it before
 * pushing, or on the context's thread.
 */
PTZ_API void ptz_queue_set_callback (PTZQueue *queue, PTZQueueCallback callback, gpointer user_data);

/**
 * ptz_queue_push: (skip)
 * @queue: a queue
 * @item: the item; the queue owns it from now on
 *
 * Adds @item at the tail and wakes the context up, so that a thread waiting
 * in the context's poll dispatches it promptly. Any thread may push.
 *
 * Returns: %TRUE (the item is always queued)
 */
PTZ_API gboolean ptz_queue_push (PTZQueue *queue, gpointer item);

/**
 * ptz_queue_pop: (skip)
 * @queue: a queue
 *
 * Takes the oldest item off the queue; it is the caller's then and is not
 * passed to the release function. Any thread may call it; used while the
 * context dispatches, it competes with the callback for items.
 *
 * Returns: (nullable) (transfer full): the oldest item, or %NULL when the
 *   queue is empty
 */
PTZ_API gpointer ptz_queue_pop (PTZQueue *queue);

/**
 * ptz_queue_free: (skip)
 * @queue: (nullable): a queue
 *
 * Removes the queue's source from its context and frees the queue; items
 * still queued are passed to the release function. Call it on the
 * context's thread, or when it no longer dispatches.
 */
PTZ_API void ptz_queue_free (PTZQueue *queue);

/* g_autoptr() support: the cleanup is ptz_queue_free(). */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZQueue, ptz_queue_free)

G_END_DECLS

#endif /* PTZ_QUEUE_H */
