#include "velmora_test.h"

#include <glib/gstdio.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace velmora::testing {

TempDir::TempDir() {
  GError *error = nullptr;
  gchar *dir = g_dir_make_tmp("velmora-test-XXXXXX", &error);
  if (dir == nullptr) {
    ADD_FAILURE() << "cannot create a temporary directory: " << error->message;
    g_error_free(error);
    return;
  }
  path_ = dir;
  g_free(dir);
}

static void remove_tree(const std::string &path) {
  GDir *dir = g_dir_open(path.c_str(), 0, nullptr);
  if (dir != nullptr) {
    while (const gchar *name = g_dir_read_name(dir)) {
      std::string child = path + "/" + name;
      if (g_file_test(child.c_str(), G_FILE_TEST_IS_DIR) && !g_file_test(child.c_str(), G_FILE_TEST_IS_SYMLINK))
        remove_tree(child);
      else
        g_unlink(child.c_str());
    }
    g_dir_close(dir);
  }
  g_rmdir(path.c_str());
}

TempDir::~TempDir() {
  if (!path_.empty()) remove_tree(path_);
}

std::string TempDir::write(const std::string &name, const std::string &contents) const {
  std::string p = file(name);
  gchar *dirname = g_path_get_dirname(p.c_str());
  g_mkdir_with_parents(dirname, 0700);
  g_free(dirname);
  GError *error = nullptr;
  if (!g_file_set_contents(p.c_str(), contents.data(), static_cast<gssize>(contents.size()), &error)) {
    ADD_FAILURE() << "cannot write " << p << ": " << error->message;
    g_error_free(error);
  }
  return p;
}

std::string read_file(const std::string &path, const std::string &missing) {
  gchar *text = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &text, &length, nullptr)) return missing;
  std::string contents(text, length);
  g_free(text);
  return contents;
}

bool iterate_until(const std::function<bool()> &done, int timeout_ms, GMainContext *context) {
  if (context == nullptr) context = g_main_context_default();
  gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  while (!done()) {
    if (g_get_monotonic_time() >= deadline) return done();
    // Never block for long: the condition may be set by another thread.
    if (!g_main_context_iteration(context, FALSE)) g_usleep(1000);
  }
  return true;
}

void iterate_for(int ms, GMainContext *context) {
  gint64 deadline = g_get_monotonic_time() + gint64(ms) * 1000;
  iterate_until([&] { return g_get_monotonic_time() >= deadline; }, ms + 1000, context);
}

Child::Child(const std::function<int()> &body) {
  fflush(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    // A test process killed by a sanitizer must not leave its children
    // holding the test runner's output pipe open.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int status = body();
    fflush(nullptr);
    _exit(status);
  }
  if (pid_ < 0) ADD_FAILURE() << "fork failed";
}

Child::~Child() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

int Child::wait(int timeout_ms) {
  if (pid_ <= 0) return -1;
  gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -1;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      return -1;
    }
    if (r < 0) return -1;
    if (g_get_monotonic_time() >= deadline) return -1;
    g_usleep(2000);
  }
}

void Child::kill(int sig) {
  if (pid_ > 0) ::kill(pid_, sig);
}

bool Child::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

namespace {
struct GLibCaptured {
  GLogLevelFlags level;
  std::string message;
};
std::mutex glib_mutex;
std::vector<GLibCaptured> *glib_captured = nullptr;

GLogWriterOutput capture_writer(GLogLevelFlags level, const GLogField *fields, gsize n_fields, gpointer) {
  std::lock_guard<std::mutex> guard(glib_mutex);
  if (glib_captured == nullptr || (level & (G_LOG_LEVEL_ERROR)) != 0)
    return g_log_writer_default(level, fields, n_fields, nullptr);
  std::string message;
  for (gsize i = 0; i < n_fields; i++)
    if (g_strcmp0(fields[i].key, "MESSAGE") == 0)
      message = fields[i].length < 0 ? std::string(static_cast<const char *>(fields[i].value))
                                     : std::string(static_cast<const char *>(fields[i].value), fields[i].length);
  glib_captured->push_back({GLogLevelFlags(level & G_LOG_LEVEL_MASK), message});
  return G_LOG_WRITER_HANDLED;
}

std::once_flag writer_once;
}  // namespace

GLibLogCapture::GLibLogCapture() {
  std::call_once(writer_once, [] { g_log_set_writer_func(capture_writer, nullptr, nullptr); });
  std::lock_guard<std::mutex> guard(glib_mutex);
  delete glib_captured;
  glib_captured = new std::vector<GLibCaptured>();
  // Criticals must not be fatal while captured.
  g_log_set_always_fatal(GLogLevelFlags(G_LOG_FATAL_MASK));
}

GLibLogCapture::~GLibLogCapture() {
  std::lock_guard<std::mutex> guard(glib_mutex);
  delete glib_captured;
  glib_captured = nullptr;
}

size_t GLibLogCapture::count(GLogLevelFlags level) const {
  std::lock_guard<std::mutex> guard(glib_mutex);
  size_t n = 0;
  if (glib_captured)
    for (auto &c : *glib_captured) n += (c.level & level) ? 1 : 0;
  return n;
}

size_t GLibLogCapture::count_containing(const std::string &fragment) const {
  std::lock_guard<std::mutex> guard(glib_mutex);
  size_t n = 0;
  if (glib_captured)
    for (auto &c : *glib_captured) n += c.message.find(fragment) != std::string::npos ? 1 : 0;
  return n;
}

std::vector<std::string> GLibLogCapture::messages() const {
  std::lock_guard<std::mutex> guard(glib_mutex);
  std::vector<std::string> out;
  if (glib_captured)
    for (auto &c : *glib_captured) out.push_back(c.message);
  return out;
}

void GLibLogCapture::clear() {
  std::lock_guard<std::mutex> guard(glib_mutex);
  if (glib_captured) glib_captured->clear();
}

}  // namespace velmora::testing
