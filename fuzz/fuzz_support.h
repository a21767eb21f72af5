// What the fuzz targets share: quiet, deterministic runs and scratch files.
#pragma once

#include <glib.h>
#include <glib/gstdio.h>
#include <signal.h>
#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/ptz_log.h"

namespace velmora::fuzz {

// Per-process set-up, done on the first run of a target:
// - the library's log lines are still formatted (through the capture, so a
//   bad argument shows under the sanitizers) but not sent to the system log;
// - writing to a closed peer gives EPIPE instead of ending the process;
// - GLib's messages are swallowed. When `criticals_are_findings` is set, a
//   critical (a guard of GLib or of the library refusing what the library
//   handed it) stops the run as a finding. Warnings do not: GLib's key-file
//   reader itself warns about some malformed escapes in values.
class Session {
 public:
  explicit Session(bool criticals_are_findings) {
    criticals_are_findings_ = criticals_are_findings;
    setlogmask(LOG_MASK(LOG_EMERG));
    // A peer that went away shows as EPIPE, as in the daemons.
    signal(SIGPIPE, SIG_IGN);
    g_log_set_writer_func(writer, nullptr, nullptr);
  }
  // Forget the lines of the previous run, so memory stays flat.
  void next_run() { capture_.clear(); }

 private:
  static GLogWriterOutput writer(GLogLevelFlags level, const GLogField *fields, gsize n_fields, gpointer) {
    if (criticals_are_findings_ && (level & G_LOG_LEVEL_CRITICAL)) {
      for (gsize i = 0; i < n_fields; i++)
        if (g_strcmp0(fields[i].key, "MESSAGE") == 0)
          fprintf(stderr, "GLib: %s\n", static_cast<const char *>(fields[i].value));
      __builtin_trap();
    }
    return G_LOG_WRITER_HANDLED;
  }

  static inline bool criticals_are_findings_ = false;
  velmora::testing::LogCapture capture_;
};

// A scratch directory for the process, removed with its files at exit.
// Flat: files only.
class Scratch {
 public:
  Scratch() {
    // In memory where there is a tmpfs: durable writes sync their files.
    gchar *dir = g_mkdtemp(g_strdup("/dev/shm/velmora-fuzz-XXXXXX"));
    if (dir == nullptr) dir = g_dir_make_tmp("velmora-fuzz-XXXXXX", nullptr);
    if (dir == nullptr) abort();
    path_ = dir;
    g_free(dir);
  }
  ~Scratch() {
    if (GDir *dir = g_dir_open(path_.c_str(), 0, nullptr)) {
      while (const gchar *name = g_dir_read_name(dir)) g_unlink((path_ + "/" + name).c_str());
      g_dir_close(dir);
    }
    g_rmdir(path_.c_str());
  }
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  std::string file(const char *name) const { return path_ + "/" + name; }
  // Replaces the file `name` with the bytes given; returns its path.
  std::string write(const char *name, const void *data, size_t size) const {
    // A plain write: no fsync, which would dominate the run time.
    std::string path = file(name);
    FILE *out = fopen(path.c_str(), "wb");
    if (out == nullptr || fwrite(data, 1, size, out) != size || fclose(out) != 0) abort();
    return path;
  }

 private:
  std::string path_;
};

// Stops the run as a finding when an expectation of the target fails.
#define FUZZ_CHECK(condition)                                                       \
  do {                                                                              \
    if (!(condition)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      __builtin_trap();                                                             \
    }                                                                               \
  } while (0)

}  // namespace velmora::fuzz
