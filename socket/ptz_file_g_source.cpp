// PTZFileGSource: an event source watching one descriptor, whose watching is
// paused and resumed from any thread. The lock guards the registration tag;
// it is never held while the callback runs.
#include <new>

#include "common/ptz_guard.h"
#include "common/ptz_mutex.h"
#include "ptz_socket.h"
#include "socket/ptz_socket_private.h"

namespace {

using velmora::MutexLock;

constexpr GIOCondition kWatched = GIOCondition(G_IO_IN | G_IO_ERR | G_IO_HUP);
// A descriptor in one of these states will never become readable again; left
// registered it would wake the main loop at once, forever.
constexpr GIOCondition kDead = GIOCondition(G_IO_HUP | G_IO_ERR | G_IO_NVAL);

// The public record followed by what only this file needs. The record's
// lock guards its tag and descriptor, and these.
struct FileSource {
  PTZFileGSource pub;
  velmora::Mutex lock;  // pub.lock
  void (*hangup_notify)(gpointer data) VELMORA_GUARDED_BY(lock);
  gpointer hangup_data VELMORA_GUARDED_BY(lock);
  bool held VELMORA_GUARDED_BY(lock);  // see velmora::socket::source_hold
};

FileSource *from(GSource *source) { return reinterpret_cast<FileSource *>(source); }

void watch(FileSource *self) VELMORA_REQUIRES(self->lock) {
  if (self->pub.tag == nullptr && self->pub.fd >= 0 && !g_source_is_destroyed(&self->pub.source))
    self->pub.tag = g_source_add_unix_fd(&self->pub.source, self->pub.fd, kWatched);
}

void unwatch(FileSource *self) VELMORA_REQUIRES(self->lock) {
  if (self->pub.tag != nullptr) {
    g_source_remove_unix_fd(&self->pub.source, self->pub.tag);
    self->pub.tag = nullptr;
  }
}

// The conditions reported for the descriptor.
GIOCondition reported(FileSource *self) VELMORA_REQUIRES(self->lock) {
  if (self->pub.tag == nullptr) return GIOCondition(0);
  return g_source_query_unix_fd(&self->pub.source, self->pub.tag);
}

gboolean file_source_prepare(GSource *, gint *timeout) {
  *timeout = -1;
  return FALSE;
}

gboolean file_source_check(GSource *source) {
  FileSource *self = from(source);
  MutexLock lock(self->lock);
  const bool ready = (reported(self) & (G_IO_IN | G_IO_PRI | kDead)) != 0;
  if (ready && self->held) {
    // Whoever holds the source reads the descriptor; this main context
    // would only wake up again and again until it is released.
    unwatch(self);
    return FALSE;
  }
  return ready;
}

gboolean file_source_dispatch(GSource *source, GSourceFunc callback, gpointer user_data) {
  FileSource *self = from(source);
  GIOCondition condition;
  void (*notify)(gpointer) = nullptr;
  gpointer notify_data = nullptr;
  {
    MutexLock lock(self->lock);
    if (self->pub.tag == nullptr || self->held) return TRUE;
    condition = reported(self);
    if (condition & kDead) {
      unwatch(self);
      notify = self->hangup_notify;
      notify_data = self->hangup_data;
    }
  }
  if (condition & kDead) {
    // Watching stays paused until ptz_file_g_source_add_poll.
    if (notify != nullptr) notify(notify_data);
    return TRUE;
  }
  if ((condition & (G_IO_IN | G_IO_PRI)) && callback != nullptr)
    return reinterpret_cast<PTZFileGSourceFunc>(reinterpret_cast<void (*)()>(callback))(user_data, condition);
  return TRUE;
}

void file_source_finalize(GSource *source) { g_mutex_clear(&from(source)->pub.lock); }

GSourceFuncs file_source_funcs = {
    file_source_prepare, file_source_check, file_source_dispatch, file_source_finalize, nullptr, nullptr,
};

}  // namespace

extern "C" {

GSource *ptz_file_g_source_new(int fd) {
  GSource *source = g_source_new(&file_source_funcs, sizeof(FileSource));
  FileSource *self = from(source);
  g_mutex_init(&self->pub.lock);
  new (&self->lock) velmora::Mutex(&self->pub.lock);
  MutexLock lock(self->lock);
  self->pub.fd = fd;
  self->pub.tag = nullptr;
  self->hangup_notify = nullptr;
  self->hangup_data = nullptr;
  self->held = false;
  watch(self);
  return source;
}

guint ptz_file_g_source_add(int fd, PTZFileGSourceFunc callback, gpointer user_data) {
  GSource *source = ptz_file_g_source_new(fd);
  g_source_set_callback(source, G_SOURCE_FUNC(callback), user_data, nullptr);
  guint id = g_source_attach(source, g_main_context_default());
  g_source_unref(source);
  return id;
}

int ptz_file_g_source_get_fd(GSource *source) {
  PTZ_RETURN_VAL_IF_FAIL(source != NULL, -1);
  return from(source)->pub.fd;
}

void ptz_file_g_source_add_poll(GSource *source) {
  PTZ_RETURN_IF_FAIL(source != NULL);
  FileSource *self = from(source);
  MutexLock lock(self->lock);
  watch(self);
}

void ptz_file_g_source_remove_poll(GSource *source) {
  PTZ_RETURN_IF_FAIL(source != NULL);
  FileSource *self = from(source);
  MutexLock lock(self->lock);
  unwatch(self);
}

}  // extern "C"

namespace velmora::socket {

void source_set_hangup_notify(GSource *source, void (*notify)(gpointer data), gpointer data) {
  FileSource *self = from(source);
  MutexLock lock(self->lock);
  self->hangup_notify = notify;
  self->hangup_data = data;
}

void source_set_fd(GSource *source, int fd) {
  FileSource *self = from(source);
  MutexLock lock(self->lock);
  unwatch(self);
  self->pub.fd = fd;
  watch(self);
}

void source_hold(GSource *source) {
  FileSource *self = from(source);
  MutexLock lock(self->lock);
  self->held = true;
}

void source_release(GSource *source, bool resume) {
  FileSource *self = from(source);
  MutexLock lock(self->lock);
  self->held = false;
  if (resume) watch(self);
}

}  // namespace velmora::socket
