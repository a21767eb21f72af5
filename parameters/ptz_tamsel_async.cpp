// Parameter writes handed to one exclusive worker thread.
//
// A push turns the write into a task text "set:<path>:<value>" and queues it
// in a process-wide thread pool of one exclusive thread, created by the first
// push and kept until the process ends. The worker performs the tasks one
// after another and retries a failed write with growing pauses.

#include "ptz_tamsel_async.h"

#include <atomic>
#include <cstdarg>
#include <cstring>

#include "common/ptz_log.h"
#include "common/ptz_mutex.h"
#include "common/ptz_raii.h"
#include "common/ptz_time_scale.h"
#include "parameters/ptz_tamsel_private.h"

namespace {

constexpr guint kAttempts = 10;
constexpr guint32 kWriteMode = 12;
constexpr gint32 kOptValueUnset = -1;

// The names the push logs under.
constexpr char kGetThreadPool[] = "ptz_tamsel_async_get_thread_pool";
constexpr char kPushSetParam[] = "ptz_tamsel_async_push_set_param";

std::atomic<velmora::testing::TamselRetryPauseObserver> pause_observer{nullptr};

velmora::Mutex pool_mutex;
GThreadPool *pool VELMORA_GUARDED_BY(pool_mutex) = nullptr;

// Runs one task on the worker thread; owns and frees the task text, which
// crossed from the pushing thread through the pool's queue.
void update_param(gpointer data, gpointer) {
  velmora::tsan_taken_over(data);
  velmora::GCharPtr task(static_cast<gchar *>(data));
  gchar *command = task.get();
  gchar *rest = strchr(command, ':');
  g_assert(rest != NULL);
  *rest++ = '\0';
  g_assert(strcmp(command, "set") == 0);
  // The path ends at its first colon; the value keeps any further ones.
  const gchar *path = rest;
  const gchar *value = "";
  if (gchar *colon = strchr(rest, ':'); colon != nullptr) {
    *colon = '\0';
    value = colon + 1;
  }
  for (guint attempt = 0; attempt < kAttempts; attempt++) {
    if (velmora::tamsel_write(kOptValueUnset, kWriteMode, value, path) == 0) return;
    guint64 pause_ms = guint64(attempt) * 1000;
    if (auto observer = pause_observer.load(); observer != nullptr) observer(attempt, pause_ms);
    g_usleep(velmora::scaled_ms(pause_ms) * 1000);
  }
}

}  // namespace

namespace velmora {

GThreadPool *tamsel_async_thread_pool() {
  MutexLock lock(pool_mutex);
  if (pool == nullptr) {
    GErrorPtr error;
    pool = g_thread_pool_new(update_param, nullptr, 1, TRUE, error.out());
    if (error) PTZ_LOG_WARNING("%s: %s", kGetThreadPool, error->message);
  }
  return pool;
}

namespace testing {
void set_tamsel_retry_pause_observer(TamselRetryPauseObserver observer) { pause_observer.store(observer); }
}  // namespace testing

}  // namespace velmora

extern "C" void ptz_tamsel_async_push_set_param(const gchar *value, const gchar *path_format, ...) {
  if (value == nullptr || path_format == nullptr) {
    PTZ_LOG_ERR("%s: NULL pointer in argument", kPushSetParam);
    return;
  }
  va_list args;
  va_start(args, path_format);
  velmora::GCharPtr path(g_strdup_vprintf(path_format, args));
  va_end(args);
  // The worker would end the path at the colon and write the wrong parameter.
  if (strchr(path.get(), ':') != nullptr) {
    PTZ_LOG_ERR("%s: parameter path %s contains a colon", kPushSetParam, path.get());
    return;
  }
  GThreadPool *workers = velmora::tamsel_async_thread_pool();
  if (workers == nullptr) return;
  gchar *task = g_strdup_printf("set:%s:%s", path.get(), value);
  velmora::tsan_handed_over(task);
  g_thread_pool_push(workers, task, nullptr);
}
