// Durable file writing: write a temporary file beside the target, flush it,
// rename it over the target, then flush the directory so the rename itself
// survives a power cut.
#include "morvel.h"
#include "morvel_testing.h"

#include <errno.h>
#include <fcntl.h>
#include <glib/gstdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "common/ptz_mutex.h"
#include "common/ptz_unique_fd.h"

namespace {

// A fault armed by morvel_testing_fail_next(); each write takes at most one.
struct Fault {
  MorvelTestingStage stage;
  gint errno_value;
  guint count;
};

velmora::Mutex fault_mutex;
Fault fault_armed VELMORA_GUARDED_BY(fault_mutex) = {MORVEL_TESTING_FAIL_CREATE, 0, 0};

struct TakenFault {
  bool active = false;
  MorvelTestingStage stage = MORVEL_TESTING_FAIL_CREATE;
  gint errno_value = 0;

  // The injected errno when this write is to fail at `at`, else 0.
  int at(MorvelTestingStage at_stage) const { return active && stage == at_stage ? errno_value : 0; }
};

TakenFault take_fault() {
  TakenFault taken;
  velmora::MutexLock lock(fault_mutex);
  if (fault_armed.count > 0) {
    fault_armed.count--;
    taken.active = true;
    taken.stage = fault_armed.stage;
    taken.errno_value = fault_armed.errno_value;
  }
  return taken;
}

gboolean fail(GError **error, int saved_errno, const char *what, const gchar *path) {
  g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(saved_errno), "Failed to %s '%s': %s", what, path,
              g_strerror(saved_errno));
  return FALSE;
}

bool write_all(int fd, const gchar *data, gsize length, int injected) {
  gsize done = 0;
  // An injected write fault strikes after half of the data is written, so
  // the temporary file really holds a partial copy when it is thrown away.
  gsize limit = injected != 0 ? length / 2 : length;
  while (done < limit) {
    ssize_t n = write(fd, data + done, limit - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<gsize>(n);
  }
  if (injected != 0) {
    errno = injected;
    return false;
  }
  return true;
}

// Flushes the directory holding `path`, which makes a rename inside it durable.
bool sync_directory(const gchar *path) {
  gchar *dir = g_path_get_dirname(path);
  velmora::UniqueFd fd(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  g_free(dir);
  if (!fd.valid()) return false;
  // Some file systems cannot flush a directory; the rename stands anyway.
  return fsync(fd.get()) == 0 || errno == EINVAL || errno == EROFS;
}

}  // namespace

extern "C" void morvel_testing_fail_next(MorvelTestingStage stage, gint errno_value, guint count) {
  velmora::MutexLock lock(fault_mutex);
  fault_armed = {stage, errno_value, count};
}

extern "C" gboolean morvel_set_file_contents_with_sync(const gchar *path, const gchar *data, gssize length,
                                                       GError **error) {
  g_return_val_if_fail(path != NULL, FALSE);
  g_return_val_if_fail(data != NULL || length == 0, FALSE);
  g_return_val_if_fail(error == NULL || *error == NULL, FALSE);
  gsize size = length < 0 ? strlen(data) : static_cast<gsize>(length);
  TakenFault fault = take_fault();

  // The temporary file lives in the target's directory so that the rename
  // stays within one file system and is atomic.
  gchar *base = g_path_get_basename(path);
  gchar *dir = g_path_get_dirname(path);
  std::string tmp_path = std::string(dir) + G_DIR_SEPARATOR_S "." + base + ".XXXXXX";
  g_free(base);
  g_free(dir);

  velmora::UniqueFd fd;
  if (int injected = fault.at(MORVEL_TESTING_FAIL_CREATE)) {
    errno = injected;
  } else {
    // Mode 0666 less the umask, as any newly created file.
    fd.reset(g_mkstemp_full(tmp_path.data(), O_WRONLY | O_CLOEXEC, 0666));
  }
  if (!fd.valid()) return fail(error, errno, "create a temporary file for", path);

  const char *step = nullptr;
  if (!write_all(fd.get(), data, size, fault.at(MORVEL_TESTING_FAIL_WRITE))) {
    step = "write";
  } else if (int injected = fault.at(MORVEL_TESTING_FAIL_SYNC)) {
    errno = injected;
    step = "flush";
  } else if (fsync(fd.get()) != 0) {
    step = "flush";
  }
  if (step != nullptr) {
    int saved = errno;
    fd.reset();
    g_unlink(tmp_path.c_str());
    return fail(error, saved, step, path);
  }
  // Closing is a step of its own: it may report a write that failed.
  if (close(fd.release()) != 0) {
    int saved = errno;
    g_unlink(tmp_path.c_str());
    return fail(error, saved, "close", path);
  }

  int rc;
  if (int injected = fault.at(MORVEL_TESTING_FAIL_RENAME)) {
    errno = injected;
    rc = -1;
  } else {
    rc = rename(tmp_path.c_str(), path);
  }
  if (rc != 0) {
    int saved = errno;
    g_unlink(tmp_path.c_str());
    return fail(error, saved, "replace", path);
  }
  // The new contents are in place; a directory that cannot be flushed is
  // still reported, as the replacement may not survive a power cut.
  if (!sync_directory(path)) return fail(error, errno, "flush the directory of", path);
  return TRUE;
}
