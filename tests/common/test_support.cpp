// The shared fixtures themselves: a broken fixture would let other tests pass
// without checking anything.
#include <unistd.h>

#include "velmora_test.h"

using namespace velmora::testing;

TEST(LogCapture, RecordsPriorityAndTextInOrder) {
  LogCapture capture;
  velmora::log(LOG_ERR, "%s: listen failed.", "fn");
  PTZ_LOG_INFO("value %d", 7);
  auto lines = capture.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].priority, LOG_ERR);
  EXPECT_EQ(lines[0].text, "fn: listen failed.");
  EXPECT_EQ(lines[1].priority, LOG_INFO);
  EXPECT_EQ(lines[1].text, "value 7");
  EXPECT_TRUE(capture.contains(LOG_INFO, "value 7"));
  EXPECT_FALSE(capture.contains(LOG_ERR, "value 7"));
  capture.clear();
  EXPECT_TRUE(capture.lines().empty());
}

TEST(TimeScale, ScalesAndRestores) {
  EXPECT_EQ(velmora::scaled_ms(360000), 360000u);
  {
    ScopedTimeScale scale(0.01);
    EXPECT_EQ(velmora::scaled_ms(360000), 3600u);
    EXPECT_EQ(velmora::scaled_ms(10), 1u);
    EXPECT_EQ(velmora::scaled_ms(0), 0u);
  }
  EXPECT_EQ(velmora::scaled_ms(1000), 1000u);
}

TEST(Fixtures, TempDirIsRemovedWithContents) {
  std::string path;
  {
    TempDir dir;
    path = dir.path();
    dir.write("a/b/c.txt", "x");
    EXPECT_TRUE(g_file_test(dir.file("a/b/c.txt").c_str(), G_FILE_TEST_EXISTS));
  }
  EXPECT_FALSE(g_file_test(path.c_str(), G_FILE_TEST_EXISTS));
}

TEST(Fixtures, ChildExitStatusAndTimeout) {
  Child ok([] { return 3; });
  EXPECT_EQ(ok.wait(), 3);
  Child slow([] {
    sleep(30);
    return 0;
  });
  EXPECT_EQ(slow.wait(50), -1);
  slow.kill();
  EXPECT_EQ(slow.wait(), -1);
  EXPECT_EQ(slow.signal(), SIGKILL);
}

TEST(Fixtures, IterateUntilRunsSourcesAndHonoursDeadline) {
  bool fired = false;
  g_timeout_add(
      20,
      [](gpointer p) {
        *static_cast<bool *>(p) = true;
        return G_SOURCE_REMOVE;
      },
      &fired);
  EXPECT_TRUE(iterate_until([&] { return fired; }, 5000));
  gint64 start = g_get_monotonic_time();
  EXPECT_FALSE(iterate_until([] { return false; }, 50));
  EXPECT_GE(g_get_monotonic_time() - start, 50000);
}
