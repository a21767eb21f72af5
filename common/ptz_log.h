// Internal logging: every diagnostic line of the library goes through here to
// the handler of ptz_logging.h (the system log unless the program installed
// its own), so tests can capture exactly what a user would see.
#pragma once

#include <glib.h>
#include <syslog.h>

#include <cstdarg>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// Writes one line at the given syslog priority (LOG_ERR, LOG_WARNING, ...).
// "%m" in the format is the text of errno; errno is the same afterwards.
void log(int priority, const char *format, ...) G_GNUC_PRINTF(2, 3);
void logv(int priority, const char *format, va_list args) G_GNUC_PRINTF(2, 0);

namespace testing {

struct LogLine {
  int priority;
  std::string text;
};

// While an instance lives, every line is also recorded here (in every thread).
// Instances do not nest.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture &) = delete;
  LogCapture &operator=(const LogCapture &) = delete;

  std::vector<LogLine> lines() const;
  // Number of recorded lines with exactly this priority and text.
  size_t count(int priority, const std::string &text) const;
  bool contains(int priority, const std::string &text) const { return count(priority, text) > 0; }
  // Number of recorded lines whose text contains the fragment (any priority).
  size_t count_containing(const std::string &fragment) const;
  void clear();
};

}  // namespace testing
}  // namespace velmora

// Short forms for the library code.
#define PTZ_LOG_ERR(...) ::velmora::log(LOG_ERR, __VA_ARGS__)
#define PTZ_LOG_WARNING(...) ::velmora::log(LOG_WARNING, __VA_ARGS__)
#define PTZ_LOG_INFO(...) ::velmora::log(LOG_INFO, __VA_ARGS__)
#define PTZ_LOG_DEBUG(...) ::velmora::log(LOG_DEBUG, __VA_ARGS__)
