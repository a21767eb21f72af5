// test-labels: threaded
#include <cstdlib>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/ptz_raii.h"
#include "parameters/ptz_tamsel_private.h"
#include "ptz_tamsel.h"
#include "ptz_tamsel_async.h"
#include "velmora_test.h"

#ifdef VELMORA_PLATFORM_BUNDLED
#include <tamsel_testing.h>

// GLib's slice allocator hands memory between threads under a lock that
// ThreadSanitizer cannot see; with plain malloc it sees every hand-over.
__attribute__((constructor)) static void use_plain_malloc() {
  if (getenv("G_SLICE") == nullptr) setenv("G_SLICE", "always-malloc", 1);
}

namespace {

// Retry pauses as the worker announces them: (failed attempt, unscaled ms).
using Pauses = std::vector<std::pair<guint, guint64>>;
std::mutex pauses_mutex;
Pauses pauses;

Pauses recorded_pauses() {
  std::lock_guard<std::mutex> guard(pauses_mutex);
  return pauses;
}

class TamselAsyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TAMSEL_STORE", dir_.file("params").c_str(), 1);
    velmora::testing::set_tamsel_retry_pause_observer([](guint attempt, guint64 ms) {
      std::lock_guard<std::mutex> guard(pauses_mutex);
      pauses.emplace_back(attempt, ms);
    });
  }
  void TearDown() override { velmora::testing::set_tamsel_retry_pause_observer(nullptr); }

  static std::string value(const char *path) {
    velmora::GCharPtr v(ptz_tamsel_get("%s", path));
    return v ? v.get() : "<null>";
  }
  // Waits (generously) until the service has seen `n` writes.
  static bool writes_reach(guint n) {
    return velmora::testing::iterate_until([n] { return tamsel_testing_write_count() >= n; }, 60000);
  }
  static TamselTestingWrite write(guint n) {
    TamselTestingWrite w{};
    EXPECT_TRUE(tamsel_testing_get_write(n, &w)) << n;
    return w;
  }

  velmora::testing::TempDir dir_;
};

}  // namespace

TEST_F(TamselAsyncTest, TasksRunInPushOrderWithValuesWhole) {
  velmora::testing::LogCapture log;
  ptz_tamsel_async_push_set_param(nullptr, "root.PTZ.X");
  ptz_tamsel_async_push_set_param("v", nullptr);
  // A colon would end the path early and the worker would write another
  // parameter.
  ptz_tamsel_async_push_set_param("v", "root.PTZ.%s", "a:b");
  ptz_tamsel_async_push_set_param("a", "root.PTZ.%s", "Same");
  ptz_tamsel_async_push_set_param("b", "root.PTZ.%s", "Same");
  ptz_tamsel_async_push_set_param("http://x:8080/a:b", "root.PTZ.Url%d", 1);
  ptz_tamsel_async_push_set_param("", "root.PTZ.Empty");
  ASSERT_TRUE(writes_reach(4));
  velmora::testing::iterate_for(100);
  EXPECT_EQ(tamsel_testing_write_count(), 4u);
  EXPECT_EQ(value("root.PTZ.Same"), "b");
  EXPECT_EQ(value("root.PTZ.Url1"), "http://x:8080/a:b");
  EXPECT_EQ(value("root.PTZ.Empty"), "");
  EXPECT_EQ(write(0).mode, 12u);
  EXPECT_EQ(write(0).opt_value, TAMSEL_DEFAULT_OPT_VALUE);
  EXPECT_TRUE(recorded_pauses().empty());
  EXPECT_EQ(log.count(LOG_ERR, "ptz_tamsel_async_push_set_param: NULL pointer in argument"), 2u);
  EXPECT_EQ(log.count(LOG_ERR, "ptz_tamsel_async_push_set_param: parameter path root.PTZ.a:b contains a colon"), 1u);
}

// Ten failed attempts, with the pauses 0, 1, ... 9 s (scaled down here),
// hold back the next task until the worker gives up.
TEST_F(TamselAsyncTest, PersistentFailureTakesTenAttemptsWithGrowingPauses) {
  velmora::testing::ScopedTimeScale fast(0.005);
  tamsel_testing_fail_next_writes(10, FALSE);
  ptz_tamsel_async_push_set_param("new", "root.PTZ.Stuck");
  ptz_tamsel_async_push_set_param("next", "root.PTZ.After");
  ASSERT_TRUE(writes_reach(11));
  EXPECT_EQ(value("root.PTZ.Stuck"), "<null>");
  EXPECT_EQ(value("root.PTZ.After"), "next");
  Pauses expected;
  for (guint k = 0; k < 10; k++) expected.emplace_back(k, guint64(k) * 1000);
  EXPECT_EQ(recorded_pauses(), expected);
  // Each attempt follows the previous one after at least its scaled pause.
  for (guint k = 1; k <= 10; k++) {
    gint64 gap = write(k).monotonic_us - write(k - 1).monotonic_us;
    EXPECT_GE(gap, gint64(velmora::scaled_ms((k - 1) * 1000) * 1000)) << k;
    EXPECT_EQ(write(k - 1).err, TAMSEL_ERR_REFUSED);
  }
  EXPECT_EQ(write(10).err, TAMSEL_OK);
}

// At real time: three failures, then success on the fourth attempt after
// 0 + 1 + 2 seconds of pauses.
TEST_F(TamselAsyncTest, WriteSucceedingOnTheFourthAttemptAtRealTime) {
  tamsel_testing_fail_next_writes(3, FALSE);
  ptz_tamsel_async_push_set_param("v", "root.PTZ.Retry");
  ASSERT_TRUE(writes_reach(4));
  velmora::testing::iterate_for(50);
  EXPECT_EQ(tamsel_testing_write_count(), 4u);
  EXPECT_EQ(value("root.PTZ.Retry"), "v");
  EXPECT_EQ(recorded_pauses(), (Pauses{{0, 0}, {1, 1000}, {2, 2000}}));
  EXPECT_GE(write(3).monotonic_us - write(0).monotonic_us, 3 * G_USEC_PER_SEC);
}

// Threads making their first push at the same moment share one pool with
// one exclusive worker, and no task is lost.
TEST_F(TamselAsyncTest, RacingFirstPushesCreateOnePool) {
  constexpr int kThreads = 8;
  std::latch start(kThreads);
  std::vector<GThreadPool *> pools(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      ptz_tamsel_async_push_set_param(std::to_string(t).c_str(), "root.PTZ.Race%d", t);
      pools[t] = velmora::tamsel_async_thread_pool();
    });
  }
  for (auto &thread : threads) thread.join();
  ASSERT_NE(pools[0], nullptr);
  for (GThreadPool *pool : pools) EXPECT_EQ(pool, pools[0]);
  ASSERT_TRUE(writes_reach(kThreads));
  for (int t = 0; t < kThreads; t++) EXPECT_EQ(value(("root.PTZ.Race" + std::to_string(t)).c_str()), std::to_string(t));
  EXPECT_EQ(g_thread_pool_get_max_threads(pools[0]), 1);
  EXPECT_EQ(tamsel_testing_max_concurrent_writes(), 1u);
}

#else
TEST(TamselAsyncTest, NeedsTheBundledParameterService) { GTEST_SKIP() << "writes would reach the device"; }
#endif
