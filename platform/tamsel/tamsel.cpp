// Stand-in for the device's parameter-service client.
//
// The store is one file shared by every process of the machine: a sequence
// of records "path NUL value NUL", values kept as raw bytes. Writers take an
// exclusive lock on a companion lock file, read the whole store, change it,
// write a temporary file and rename it into place, so a reader (under a
// shared lock) always sees a complete store. The location is
// $TAMSEL_STORE, or /var/lib/tamsel/parameters.store.

#include "tamsel.h"
#include "tamsel_testing.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

constexpr guint32 kResetStamp = 0x7A3E1C05u;
constexpr const char *kDefaultStore = "/var/lib/tamsel/parameters.store";
using Store = std::map<std::string, std::string>;

std::string store_path() {
  const char *env = getenv("TAMSEL_STORE");
  return env != nullptr && *env != '\0' ? env : kDefaultStore;
}

// Holds an flock on "<store>.lock" for its lifetime.
class StoreLock {
 public:
  StoreLock(const std::string &store, bool exclusive) {
    gchar *dir = g_path_get_dirname(store.c_str());
    g_mkdir_with_parents(dir, 0755);
    g_free(dir);
    fd_ = open((store + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return;
    int rc;
    do rc = flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~StoreLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  StoreLock(const StoreLock &) = delete;
  StoreLock &operator=(const StoreLock &) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Reads the store; a missing file is an empty store. A damaged tail (a path
// without its value) is ignored.
bool load(const std::string &path, Store &store) {
  gchar *contents = nullptr;
  gsize length = 0;
  GError *error = nullptr;
  if (!g_file_get_contents(path.c_str(), &contents, &length, &error)) {
    bool missing = g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT);
    g_error_free(error);
    return missing;
  }
  const char *p = contents, *end = contents + length;
  while (p < end) {
    const char *key_end = static_cast<const char *>(memchr(p, '\0', end - p));
    if (key_end == nullptr) break;
    const char *value = key_end + 1;
    const char *value_end = static_cast<const char *>(memchr(value, '\0', end - value));
    if (value_end == nullptr) break;
    store[std::string(p, key_end)] = std::string(value, value_end);
    p = value_end + 1;
  }
  g_free(contents);
  return true;
}

bool write_all(int fd, const std::string &data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool save(const std::string &path, const Store &store) {
  std::string data;
  for (const auto &[key, value] : store) {
    data.append(key).push_back('\0');
    data.append(value).push_back('\0');
  }
  std::string tmp = path + ".tmp";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = write_all(fd, data) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(tmp.c_str(), path.c_str()) == 0) return true;
  unlink(tmp.c_str());
  return false;
}

// Test observation and fault injection, per process.
std::mutex testing_mutex;
guint fail_count = 0;
bool fail_value_stored = false;
constexpr guint kWriteRing = 64;
TamselTestingWrite write_ring[kWriteRing];
guint writes_recorded = 0;
std::atomic<guint> reads_made{0};
std::atomic<guint> writes_in_progress{0};
std::atomic<guint> max_writes_in_progress{0};
std::atomic<guint32> last_sync_mode{TAMSEL_DEFAULT_MODE};

// Takes one pending injected failure; tells whether the value is stored.
bool take_injected_failure(bool *value_stored) {
  std::lock_guard<std::mutex> guard(testing_mutex);
  if (fail_count == 0) return false;
  fail_count--;
  *value_stored = fail_value_stored;
  return true;
}

void record_write(const TamselOptions *options, gint err, gint64 when) {
  std::lock_guard<std::mutex> guard(testing_mutex);
  TamselTestingWrite &w = write_ring[writes_recorded % kWriteRing];
  w.mode = options != nullptr ? options->mode : 0;
  w.opt_value = options != nullptr ? options->opt_value : 0;
  w.err = err;
  w.monotonic_us = when;
  writes_recorded++;
}

gint finish(gint *err, gint code) {
  if (err != nullptr) *err = code;
  return code;
}

gint check_options(const TamselOptions *options, bool need_mode) {
  if (options == nullptr) return TAMSEL_ERR_ARGUMENT;
  if (options->stamp != kResetStamp) return TAMSEL_ERR_OPTIONS;
  if (need_mode && (options->mode < TAMSEL_MODE_MIN || options->mode > TAMSEL_MODE_MAX))
    return TAMSEL_ERR_MODE;
  return TAMSEL_OK;
}

gint set_param(const gchar *path, const gchar *value, const TamselOptions *options) {
  if (path == nullptr || *path == '\0' || value == nullptr) return TAMSEL_ERR_ARGUMENT;
  if (gint code = check_options(options, true); code != TAMSEL_OK) return code;
  bool value_stored = true;
  bool injected = take_injected_failure(&value_stored);
  if (value_stored) {
    std::string file = store_path();
    StoreLock lock(file, true);
    Store store;
    if (!lock.held() || !load(file, store)) return TAMSEL_ERR_STORE;
    store[path] = value;
    if (!save(file, store)) return TAMSEL_ERR_STORE;
  }
  return injected ? TAMSEL_ERR_REFUSED : TAMSEL_OK;
}

}  // namespace

extern "C" {

void cli_resetOptions(TamselOptions *options) {
  if (options == nullptr) return;
  memset(options, 0, sizeof *options);
  options->mode = TAMSEL_DEFAULT_MODE;
  options->stamp = kResetStamp;
  options->opt_value = TAMSEL_DEFAULT_OPT_VALUE;
}

gchar *cli_getCustomParam(const gchar *path, TamselOptions *options, gint *err) {
  reads_made++;
  if (path == nullptr || *path == '\0') {
    finish(err, TAMSEL_ERR_ARGUMENT);
    return nullptr;
  }
  if (gint code = check_options(options, false); code != TAMSEL_OK) {
    finish(err, code);
    return nullptr;
  }
  std::string file = store_path();
  Store store;
  {
    StoreLock lock(file, false);
    if (!lock.held() || !load(file, store)) {
      finish(err, TAMSEL_ERR_STORE);
      return nullptr;
    }
  }
  auto it = store.find(path);
  if (it == store.end()) {
    finish(err, TAMSEL_ERR_NOT_FOUND);
    return nullptr;
  }
  finish(err, TAMSEL_OK);
  return g_strndup(it->second.data(), it->second.size());
}

gint cli_setCustomParam(const gchar *path, const gchar *value, TamselOptions *options, gint *err) {
  gint64 when = g_get_monotonic_time();
  guint now = ++writes_in_progress;
  for (guint seen = max_writes_in_progress; now > seen;)
    if (max_writes_in_progress.compare_exchange_weak(seen, now)) break;
  gint code = set_param(path, value, options);
  writes_in_progress--;
  record_write(options, code, when);
  return finish(err, code);
}

gint cli_sync(TamselOptions *options, gint *err) {
  if (gint code = check_options(options, true); code != TAMSEL_OK) return finish(err, code);
  std::string file = store_path();
  StoreLock lock(file, false);
  if (!lock.held()) return finish(err, TAMSEL_ERR_STORE);
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    bool ok = fsync(fd) == 0;
    close(fd);
    if (!ok) return finish(err, TAMSEL_ERR_STORE);
  }
  last_sync_mode = options->mode;
  return finish(err, TAMSEL_OK);
}

void tamsel_testing_fail_next_writes(guint count, gboolean value_stored) {
  std::lock_guard<std::mutex> guard(testing_mutex);
  fail_count = count;
  fail_value_stored = value_stored != FALSE;
}

guint tamsel_testing_write_count(void) {
  std::lock_guard<std::mutex> guard(testing_mutex);
  return writes_recorded;
}

guint tamsel_testing_read_count(void) { return reads_made; }

gboolean tamsel_testing_get_write(guint n, TamselTestingWrite *out) {
  std::lock_guard<std::mutex> guard(testing_mutex);
  if (out == nullptr || n >= writes_recorded || writes_recorded - n > kWriteRing) return FALSE;
  *out = write_ring[n % kWriteRing];
  return TRUE;
}

guint tamsel_testing_max_concurrent_writes(void) { return max_writes_in_progress; }

guint32 tamsel_testing_last_sync_mode(void) { return last_sync_mode; }

}  // extern "C"
