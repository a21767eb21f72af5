// Stand-in for the device's parameter-service client.
//
// The store is one file shared by every process of the machine: a sequence
// of records "path NUL value NUL", values kept as raw bytes. The location is
// $TAMSEL_STORE, or /var/lib/tamsel/parameters.store.
//
// Writers take an exclusive lock on a companion lock file (with a deadline),
// read the whole store, change it, write a temporary file of a fresh name and
// rename it into place. Readers take no lock: a renamed store is always
// whole. Only the store's own account writes it; every account may read it.
// Nothing at the store's names is followed when it is a link, and no file of
// another account is used as the lock or adopted as the store.

#include "tamsel.h"
#include "tamsel_testing.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "common/ptz_mutex.h"
#include "common/ptz_unique_fd.h"

namespace {

constexpr guint32 kResetStamp = 0x7A3E1C05u;
constexpr const char *kDefaultStore = "/var/lib/tamsel/parameters.store";
// A writer gives up on the store's lock after this long.
constexpr gint64 kLockPatienceUs = 5 * G_USEC_PER_SEC;
using Store = std::map<std::string, std::string>;
using velmora::UniqueFd;

std::string store_path() {
  const char *env = getenv("TAMSEL_STORE");
  return env != nullptr && *env != '\0' ? env : kDefaultStore;
}

std::string directory_of(const std::string &path) {
  gchar *dir = g_path_get_dirname(path.c_str());
  std::string out = dir;
  g_free(dir);
  return out;
}

// A store file that can be believed: a regular file that only its owner can
// change, owned by root, by this process's account or by the owner of its
// directory (whoever controls the directory decides what lies in it anyway).
bool believable(const struct stat &file, const std::string &store) {
  struct stat dir;
  return S_ISREG(file.st_mode) && (file.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
         stat(directory_of(store).c_str(), &dir) == 0 &&
         (file.st_uid == 0 || file.st_uid == geteuid() || file.st_uid == dir.st_uid);
}

// Holds an flock on "<store>.lock" for its lifetime. The lock file is this
// account's and no other account can open it, so none can take the lock; a
// link or another account's file at its name is refused. The lock is waited
// for up to kLockPatienceUs.
class StoreLock {
 public:
  explicit StoreLock(const std::string &store) : fd_(open_lock_file(store + ".lock")) {
    if (fd_.get() < 0) return;
    gint64 deadline = g_get_monotonic_time() + kLockPatienceUs;
    for (gulong pause_us = 1000;; pause_us = std::min<gulong>(pause_us * 2, 50000)) {
      if (flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
        held_ = true;
        return;
      }
      if ((errno != EWOULDBLOCK && errno != EINTR) || g_get_monotonic_time() >= deadline) return;
      g_usleep(pause_us);
    }
  }
  StoreLock(const StoreLock &) = delete;
  StoreLock &operator=(const StoreLock &) = delete;
  // Closing the descriptor releases the lock.
  bool held() const { return held_; }

 private:
  static UniqueFd open_lock_file(const std::string &path) {
    UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    struct stat st;
    if (!fd.valid() || fstat(fd.get(), &st) < 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
      return UniqueFd();
    return fd;
  }

  UniqueFd fd_;
  bool held_ = false;
};

bool read_all(int fd, std::string *out) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out->append(buffer, size_t(n));
  }
}

// Reads the store; a missing file is an empty store. A damaged tail (a path
// without its value) is ignored. A writer (`for_writing`) uses only a store
// of its own account.
bool load(const std::string &path, Store &store, bool for_writing) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT;
  struct stat st;
  std::string contents;
  if (fstat(fd.get(), &st) < 0 || !believable(st, path) || (for_writing && st.st_uid != geteuid()) ||
      !read_all(fd.get(), &contents))
    return false;
  const char *p = contents.data(), *end = p + contents.size();
  while (p < end) {
    const char *key_end = static_cast<const char *>(memchr(p, '\0', end - p));
    if (key_end == nullptr) break;
    const char *value = key_end + 1;
    const char *value_end = static_cast<const char *>(memchr(value, '\0', end - value));
    if (value_end == nullptr) break;
    store[std::string(p, key_end)] = std::string(value, value_end);
    p = value_end + 1;
  }
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

// Writes the store to a new file of a fresh name (created exclusively, so a
// link or file planted at some name is never written through) and renames it
// into place.
bool save(const std::string &path, const Store &store) {
  std::string data;
  for (const auto &[key, value] : store) {
    data.append(key).push_back('\0');
    data.append(value).push_back('\0');
  }
  std::string tmp = path + ".XXXXXX";
  UniqueFd fd(mkostemp(tmp.data(), O_CLOEXEC));
  if (!fd.valid()) return false;
  bool ok = fchmod(fd.get(), 0644) == 0 && write_all(fd.get(), data) && fsync(fd.get()) == 0;
  // Closing may report a write that failed.
  ok = close(fd.release()) == 0 && ok;
  if (ok && rename(tmp.c_str(), path.c_str()) == 0) return true;
  unlink(tmp.c_str());
  return false;
}

// Test observation and fault injection, per process.
velmora::Mutex testing_mutex;
guint fail_count VELMORA_GUARDED_BY(testing_mutex) = 0;
bool fail_value_stored VELMORA_GUARDED_BY(testing_mutex) = false;
constexpr guint kWriteRing = 64;
TamselTestingWrite write_ring[kWriteRing] VELMORA_GUARDED_BY(testing_mutex);
guint writes_recorded VELMORA_GUARDED_BY(testing_mutex) = 0;
std::atomic<guint> reads_made{0};
std::atomic<guint> writes_in_progress{0};
std::atomic<guint> max_writes_in_progress{0};
std::atomic<guint32> last_sync_mode{TAMSEL_DEFAULT_MODE};

// Takes one pending injected failure; tells whether the value is stored.
bool take_injected_failure(bool *value_stored) {
  velmora::MutexLock lock(testing_mutex);
  if (fail_count == 0) return false;
  fail_count--;
  *value_stored = fail_value_stored;
  return true;
}

void record_write(const TamselOptions *options, gint err, gint64 when) {
  velmora::MutexLock lock(testing_mutex);
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
  if (need_mode && (options->mode < TAMSEL_MODE_MIN || options->mode > TAMSEL_MODE_MAX)) return TAMSEL_ERR_MODE;
  return TAMSEL_OK;
}

gint set_param(const gchar *path, const gchar *value, const TamselOptions *options) {
  if (path == nullptr || *path == '\0' || value == nullptr) return TAMSEL_ERR_ARGUMENT;
  if (gint code = check_options(options, true); code != TAMSEL_OK) return code;
  bool value_stored = true;
  bool injected = take_injected_failure(&value_stored);
  if (value_stored) {
    std::string file = store_path();
    g_mkdir_with_parents(directory_of(file).c_str(), 0755);
    StoreLock lock(file);
    Store store;
    if (!lock.held() || !load(file, store, true)) return TAMSEL_ERR_STORE;
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
  Store store;
  if (!load(store_path(), store, false)) {
    finish(err, TAMSEL_ERR_STORE);
    return nullptr;
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
  // The store file and the directory that names it.
  std::string file = store_path();
  for (const std::string &path : {file, directory_of(file)}) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0 ? errno != ENOENT : fsync(fd.get()) != 0) return finish(err, TAMSEL_ERR_STORE);
  }
  last_sync_mode = options->mode;
  return finish(err, TAMSEL_OK);
}

void tamsel_testing_fail_next_writes(guint count, gboolean value_stored) {
  velmora::MutexLock lock(testing_mutex);
  fail_count = count;
  fail_value_stored = value_stored != FALSE;
}

guint tamsel_testing_write_count(void) {
  velmora::MutexLock lock(testing_mutex);
  return writes_recorded;
}

guint tamsel_testing_read_count(void) { return reads_made; }

gboolean tamsel_testing_get_write(guint n, TamselTestingWrite *out) {
  velmora::MutexLock lock(testing_mutex);
  if (out == nullptr || n >= writes_recorded || writes_recorded - n > kWriteRing) return FALSE;
  *out = write_ring[n % kWriteRing];
  return TRUE;
}

guint tamsel_testing_max_concurrent_writes(void) { return max_writes_in_progress; }

guint32 tamsel_testing_last_sync_mode(void) { return last_sync_mode; }

}  // extern "C"
