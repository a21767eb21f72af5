#include "common/ptz_log.h"

#include <errno.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>

#include "common/ptz_mutex.h"
#include "ptz_logging.h"

namespace velmora {
namespace {

// The capture is a test seam only; production code never enables it.
Mutex capture_mutex;
std::vector<testing::LogLine> *capture_lines VELMORA_GUARDED_BY(capture_mutex) = nullptr;

// An installed handler. Each call in progress holds a reference, and so does
// the installation, so the user data is destroyed only once the handler has
// been replaced and no thread is inside it any more.
struct Handler {
  PTZLogHandler func;
  gpointer data;
  GDestroyNotify destroy;
  std::atomic<int> refs;
};

Mutex handler_mutex;
Handler *installed VELMORA_GUARDED_BY(handler_mutex) = nullptr;  // nullptr: the default writer

void unref(Handler *handler) {
  if (handler == nullptr || handler->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  if (handler->destroy != nullptr) handler->destroy(handler->data);
  delete handler;
}

Handler *ref_installed() {
  MutexLock lock(handler_mutex);
  if (installed != nullptr) installed->refs.fetch_add(1, std::memory_order_relaxed);
  return installed;
}

// Lines logged from inside a handler on this thread go to the default writer.
thread_local int handler_depth = 0;

const char *priority_name(int priority) {
  static const char *const names[] = {"emergency", "alert", "critical", "error", "warning", "notice", "info", "debug"};
  return names[LOG_PRI(priority)];
}

bool mirror_to_stderr() {
  static const bool mirror = [] {
    const char *value = g_getenv("VELMORA_LOG_STDERR");
    return value != nullptr && value[0] != '\0' && g_strcmp0(value, "0") != 0;
  }();
  return mirror;
}

void record(int priority, const char *text) {
  MutexLock lock(capture_mutex);
  if (capture_lines != nullptr) capture_lines->push_back({priority, text});
}

}  // namespace

void logv(int priority, const char *format, va_list args) {
  // The text is formatted here once, for every receiver; "%m" stands for the
  // error of the failure being reported, so errno is kept for it.
  int saved_errno = errno;
  char *text = g_strdup_vprintf(format, args);

  record(priority, text);
  if (mirror_to_stderr()) fprintf(stderr, "velmora[%d]: %s: %s\n", int(getpid()), priority_name(priority), text);

  Handler *handler = handler_depth == 0 ? ref_installed() : nullptr;
  if (handler != nullptr) {
    handler_depth++;
    handler->func(priority, text, handler->data);
    handler_depth--;
    unref(handler);
  } else {
    ptz_log_default_handler(priority, text, nullptr);
  }
  g_free(text);
  errno = saved_errno;
}

void log(int priority, const char *format, ...) {
  va_list args;
  va_start(args, format);
  logv(priority, format, args);
  va_end(args);
}

namespace testing {

LogCapture::LogCapture() {
  MutexLock lock(capture_mutex);
  delete capture_lines;
  capture_lines = new std::vector<LogLine>();
}

LogCapture::~LogCapture() {
  MutexLock lock(capture_mutex);
  delete capture_lines;
  capture_lines = nullptr;
}

std::vector<LogLine> LogCapture::lines() const {
  MutexLock lock(capture_mutex);
  return capture_lines ? *capture_lines : std::vector<LogLine>{};
}

size_t LogCapture::count(int priority, const std::string &text) const {
  size_t n = 0;
  for (const auto &line : lines())
    if (line.priority == priority && line.text == text) n++;
  return n;
}

size_t LogCapture::count_containing(const std::string &fragment) const {
  size_t n = 0;
  for (const auto &line : lines())
    if (line.text.find(fragment) != std::string::npos) n++;
  return n;
}

void LogCapture::clear() {
  MutexLock lock(capture_mutex);
  if (capture_lines) capture_lines->clear();
}

}  // namespace testing
}  // namespace velmora

void ptz_log_set_handler(PTZLogHandler handler, gpointer user_data, GDestroyNotify destroy) {
  velmora::Handler *replacement = nullptr;
  if (handler != nullptr) {
    replacement = new velmora::Handler{handler, user_data, destroy, {1}};
  } else if (destroy != nullptr) {
    destroy(user_data);
  }
  velmora::Handler *replaced;
  {
    velmora::MutexLock lock(velmora::handler_mutex);
    replaced = velmora::installed;
    velmora::installed = replacement;
  }
  velmora::unref(replaced);
}

void ptz_log_default_handler(int priority, const gchar *line, gpointer) {
  syslog(priority, "%s", line != nullptr ? line : "");
}
