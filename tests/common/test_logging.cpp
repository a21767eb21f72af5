// test-labels: threaded
// The public log hook: what a handler receives, replacing it while other
// threads log, re-entry, and the standard-error mirror.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ptz_logging.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

struct Received {
  std::vector<LogLine> lines;
  int destroyed = 0;
};

void keep_line(int priority, const gchar *line, gpointer data) {
  static_cast<Received *>(data)->lines.push_back({priority, line});
}

void count_destroy(gpointer data) { static_cast<Received *>(data)->destroyed++; }

TEST(LogHandler, ReceivesEveryLineAndIsReplacedCleanly) {
  LogCapture capture;  // the test seam keeps working beside a handler
  Received first, second;
  ptz_log_set_handler(keep_line, &first, count_destroy);
  errno = ENOENT;
  PTZ_LOG_ERR("%s: open failed. %m!", "fn");
  EXPECT_EQ(errno, ENOENT);
  PTZ_LOG_INFO("value %d", 7);

  ptz_log_set_handler(keep_line, &second, count_destroy);
  EXPECT_EQ(first.destroyed, 1);
  PTZ_LOG_WARNING("retrying");
  ptz_log_set_handler(nullptr, nullptr, nullptr);  // back to the system log
  EXPECT_EQ(second.destroyed, 1);
  PTZ_LOG_ERR("to syslog only");

  ASSERT_EQ(first.lines.size(), 2u);
  EXPECT_EQ(first.lines[0].priority, LOG_ERR);
  EXPECT_EQ(first.lines[0].text, "fn: open failed. No such file or directory!");
  EXPECT_EQ(first.lines[1].priority, LOG_INFO);
  EXPECT_EQ(first.lines[1].text, "value 7");
  ASSERT_EQ(second.lines.size(), 1u);
  EXPECT_EQ(second.lines[0].text, "retrying");
  EXPECT_EQ(second.lines[0].priority, LOG_WARNING);
  EXPECT_EQ(capture.lines().size(), 4u);
  EXPECT_TRUE(capture.contains(LOG_ERR, "to syslog only"));

  // Clearing with data to release releases it at once.
  Received unused;
  ptz_log_set_handler(nullptr, &unused, count_destroy);
  EXPECT_EQ(unused.destroyed, 1);
}

// A handler whose work logs again: the inner line goes to the default
// writer, so the handler is neither re-entered nor recursing.
TEST(LogHandler, LinesLoggedInsideTheHandlerDoNotComeBack) {
  LogCapture capture;
  Received received;
  ptz_log_set_handler(
      [](int priority, const gchar *line, gpointer data) {
        keep_line(priority, line, data);
        PTZ_LOG_ERR("inner %s", line);
      },
      &received, nullptr);
  PTZ_LOG_ERR("outer");
  ptz_log_set_handler(nullptr, nullptr, nullptr);
  ASSERT_EQ(received.lines.size(), 1u);
  EXPECT_EQ(received.lines[0].text, "outer");
  EXPECT_TRUE(capture.contains(LOG_ERR, "inner outer"));
}

// The user data of a replaced handler is released only once no thread is
// inside that handler, and exactly once; a handler never sees released data.
struct Tracked {
  std::atomic<bool> alive{true};
  std::atomic<int> *calls_after_release;
  std::atomic<int> *released;
};

TEST(LogHandler, ReplacingWhileOtherThreadsLogNeverUsesReleasedData) {
  std::atomic<int> calls_after_release{0}, released{0}, lines{0};
  std::atomic<bool> stop{false};
  auto handler = [](int, const gchar *, gpointer data) {
    auto *tracked = static_cast<Tracked *>(data);
    if (!tracked->alive.load()) tracked->calls_after_release->fetch_add(1);
    g_usleep(50);  // widen the window in which a replacement can happen
    if (!tracked->alive.load()) tracked->calls_after_release->fetch_add(1);
  };
  auto release = [](gpointer data) {
    auto *tracked = static_cast<Tracked *>(data);
    tracked->alive.store(false);
    tracked->released->fetch_add(1);
    delete tracked;
  };
  std::vector<std::thread> loggers;
  for (int t = 0; t < 4; t++)
    loggers.emplace_back([&] {
      while (!stop.load()) {
        PTZ_LOG_DEBUG("line from a worker");
        lines.fetch_add(1);
      }
    });
  const int installs = 300;
  for (int i = 0; i < installs; i++) {
    ptz_log_set_handler(handler, new Tracked{{true}, &calls_after_release, &released}, release);
    g_usleep(100);
  }
  ptz_log_set_handler(nullptr, nullptr, nullptr);
  stop.store(true);
  for (auto &thread : loggers) thread.join();
  EXPECT_GT(lines.load(), 0);
  EXPECT_EQ(released.load(), installs);
  EXPECT_EQ(calls_after_release.load(), 0);
}

TEST(LogHandler, EnvironmentMirrorsLinesToStandardErrorBesideTheHandler) {
  TempDir dir;
  std::string path = dir.file("stderr");
  Child child([&] {
    g_setenv("VELMORA_LOG_STDERR", "1", TRUE);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDERR_FILENO);
    static int handled = 0;
    ptz_log_set_handler([](int, const gchar *, gpointer) { handled++; }, nullptr, nullptr);
    PTZ_LOG_ERR("%s: listen failed.", "fn");
    PTZ_LOG_WARNING("partial");
    return handled == 2 ? 0 : 1;
  });
  std::string pid = std::to_string(child.pid());
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(read_file(path),
            "velmora[" + pid + "]: error: fn: listen failed.\nvelmora[" + pid + "]: warning: partial\n");

  Child quiet([&] {
    g_setenv("VELMORA_LOG_STDERR", "0", TRUE);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDERR_FILENO);
    PTZ_LOG_ERR("not mirrored");
    return 0;
  });
  EXPECT_EQ(quiet.wait(), 0);
  EXPECT_EQ(read_file(path), "");
}

}  // namespace
