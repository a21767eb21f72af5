// Main-context queue: items pushed from any thread are handed to a callback
// on the thread that iterates the queue's main context.
#include "ptz_queue.h"

#include <new>

#include "common/ptz_guard.h"
#include "common/ptz_mutex.h"

namespace {

struct PTZQueueSource {
  GSource source;
  velmora::Mutex lock;
  GQueue items VELMORA_GUARDED_BY(lock);
  PTZQueueReleaseFunc release;
};

gpointer take_head(PTZQueueSource *self) {
  velmora::MutexLock lock(self->lock);
  return g_queue_pop_head(&self->items);
}

gboolean queue_source_prepare(GSource *source, gint *timeout) {
  auto *self = reinterpret_cast<PTZQueueSource *>(source);
  *timeout = -1;
  velmora::MutexLock lock(self->lock);
  return !g_queue_is_empty(&self->items);
}

gboolean queue_source_check(GSource *) { return FALSE; }

gboolean queue_source_dispatch(GSource *source, GSourceFunc callback, gpointer user_data) {
  auto *self = reinterpret_cast<PTZQueueSource *>(source);
  auto queue_callback = reinterpret_cast<PTZQueueCallback>(reinterpret_cast<void (*)()>(callback));
  // A pass that finds nothing (another thread popped the items after
  // prepare) leaves the source in place.
  gboolean result = G_SOURCE_CONTINUE;
  // Items pushed while the callback runs are dispatched in the same pass;
  // the lock is only held to take each item.
  while (gpointer item = take_head(self)) {
    if (queue_callback != nullptr) result = queue_callback(user_data, item);
    // Without a callback the item still leaves through the release function
    // rather than leaking.
    if (self->release != nullptr) self->release(item);
  }
  return result;
}

void queue_source_finalize(GSource *source) {
  auto *self = reinterpret_cast<PTZQueueSource *>(source);
  while (gpointer item = take_head(self))
    if (self->release != nullptr) self->release(item);
}

GSourceFuncs queue_source_funcs = {
    queue_source_prepare, queue_source_check, queue_source_dispatch, queue_source_finalize, nullptr, nullptr,
};

}  // namespace

struct _PTZQueue {
  GMainContext *context;
  PTZQueueSource *source;
};

extern "C" {

PTZQueue *ptz_queue_setup(GMainContext *context, PTZQueueReleaseFunc release, gint priority) {
  g_assert(context != NULL);
  auto *queue = g_new0(PTZQueue, 1);
  queue->context = g_main_context_ref(context);
  GSource *source = g_source_new(&queue_source_funcs, sizeof(PTZQueueSource));
  g_source_set_name(source, "ptz_queue");
  queue->source = reinterpret_cast<PTZQueueSource *>(source);
  // g_source_new zeroes the record: the item queue starts empty.
  new (&queue->source->lock) velmora::Mutex();
  queue->source->release = release;
  g_source_set_priority(source, priority);
  g_source_attach(source, context);
  return queue;
}

void ptz_queue_set_callback(PTZQueue *queue, PTZQueueCallback callback, gpointer user_data) {
  PTZ_RETURN_IF_FAIL(queue != NULL);
  g_source_set_callback(&queue->source->source, G_SOURCE_FUNC(callback), user_data, nullptr);
}

gboolean ptz_queue_push(PTZQueue *queue, gpointer item) {
  PTZ_RETURN_VAL_IF_FAIL(queue != NULL, FALSE);
  {
    velmora::MutexLock lock(queue->source->lock);
    g_queue_push_tail(&queue->source->items, item);
  }
  g_main_context_wakeup(queue->context);
  return TRUE;
}

gpointer ptz_queue_pop(PTZQueue *queue) {
  PTZ_RETURN_VAL_IF_FAIL(queue != NULL, nullptr);
  return take_head(queue->source);
}

void ptz_queue_free(PTZQueue *queue) {
  if (queue == nullptr) return;
  g_source_destroy(&queue->source->source);
  g_source_unref(&queue->source->source);
  g_main_context_unref(queue->context);
  g_free(queue);
}

}  // extern "C"
