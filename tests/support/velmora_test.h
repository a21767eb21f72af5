// Shared fixtures of the test suite: temporary directories, log capture,
// bounded main-context iteration and child processes.
#pragma once

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <string>

#include "common/ptz_log.h"
#include "common/ptz_time_scale.h"

namespace velmora::testing {

// A fresh directory under $TMPDIR, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  // Writes a file below the directory and returns its path.
  std::string write(const std::string &name, const std::string &contents) const;

 private:
  std::string path_;
};

// A file's whole contents (NUL bytes included), or `missing` when it cannot
// be read.
std::string read_file(const std::string &path, const std::string &missing = "<missing>");

// Iterates `context` (the default one when NULL) until `done` returns true or
// `timeout_ms` has passed; returns the last value of `done`.
bool iterate_until(const std::function<bool()> &done, int timeout_ms = 10000, GMainContext *context = nullptr);
// Iterates for about `ms` milliseconds.
void iterate_for(int ms, GMainContext *context = nullptr);

// A child process running `body`; its return value is the exit status.
// The child never returns into the test runner.
class Child {
 public:
  explicit Child(const std::function<int()> &body);
  ~Child();  // kills and reaps a child still running
  Child(const Child &) = delete;
  Child &operator=(const Child &) = delete;

  pid_t pid() const { return pid_; }
  // Waits up to timeout_ms; returns the exit status, or -1 on timeout or when
  // the child died from a signal (then signal() tells which).
  int wait(int timeout_ms = 30000);
  int signal() const { return signal_; }
  void kill(int sig = 9);
  bool running();

 private:
  pid_t pid_ = -1;
  int signal_ = 0;
};

// Sets the time scale for the lifetime of the object.
class ScopedTimeScale {
 public:
  explicit ScopedTimeScale(double f) : old_(time_scale()) { set_time_scale(f); }
  ~ScopedTimeScale() { set_time_scale(old_); }

 private:
  double old_;
};

// Captures GLib criticals and warnings (g_return_if_fail and friends) instead
// of letting them abort the test run.
class GLibLogCapture {
 public:
  GLibLogCapture();
  ~GLibLogCapture();
  GLibLogCapture(const GLibLogCapture &) = delete;
  GLibLogCapture &operator=(const GLibLogCapture &) = delete;

  size_t count(GLogLevelFlags level) const;
  // Number of captured messages containing the fragment.
  size_t count_containing(const std::string &fragment) const;
  std::vector<std::string> messages() const;
  void clear();
};

}  // namespace velmora::testing
