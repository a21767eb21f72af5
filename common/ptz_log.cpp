#include "common/ptz_log.h"

#include <mutex>

namespace velmora {
namespace {

// The capture is a test seam only; production code never enables it.
std::mutex capture_mutex;
std::vector<testing::LogLine> *capture_lines = nullptr;

}  // namespace

void logv(int priority, const char *format, va_list args) {
  {
    std::lock_guard<std::mutex> guard(capture_mutex);
    if (capture_lines != nullptr) {
      va_list copy;
      va_copy(copy, args);
      char *text = g_strdup_vprintf(format, copy);
      va_end(copy);
      capture_lines->push_back({priority, text});
      g_free(text);
    }
  }
  vsyslog(priority, format, args);
}

void log(int priority, const char *format, ...) {
  va_list args;
  va_start(args, format);
  logv(priority, format, args);
  va_end(args);
}

namespace testing {

LogCapture::LogCapture() {
  std::lock_guard<std::mutex> guard(capture_mutex);
  delete capture_lines;
  capture_lines = new std::vector<LogLine>();
}

LogCapture::~LogCapture() {
  std::lock_guard<std::mutex> guard(capture_mutex);
  delete capture_lines;
  capture_lines = nullptr;
}

std::vector<LogLine> LogCapture::lines() const {
  std::lock_guard<std::mutex> guard(capture_mutex);
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
  std::lock_guard<std::mutex> guard(capture_mutex);
  if (capture_lines) capture_lines->clear();
}

}  // namespace testing
}  // namespace velmora
