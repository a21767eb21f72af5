// Timing and counter logs across real processes: who may start and stop a
// timer, repeated starts and stops, driver routing, and counter ownership with
// one and with two drivers configured.
#include "ptz_timing_log.h"

#include <gtest/gtest.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "durnik.h"
#include "ptz_settings.h"
#include "tests/parameters/durnik_isolation.h"
#include "velmora_test.h"

namespace {

using velmora::testing::LogCapture;
using velmora::testing::TimeValue16;

// The four values of a timing group as another process reads them.
struct Timing {
  TimeValue16 start, stop;
  guint16 start_pid = 0, stop_pid = 0;

  explicit Timing(const std::string &group) {
    sc_entry e[] = {{"start_time", 16, &start, 5},
                    {"start_pid", 2, &start_pid, 1},
                    {"stop_time", 16, &stop, 5},
                    {"stop_pid", 2, &stop_pid, 1}};
    sc_entry *list[] = {&e[0], &e[1], &e[2], &e[3], nullptr};
    EXPECT_EQ(sc_get_group(group.c_str(), list, SC_GET_ALL), 4) << group;
  }
  bool started() const { return start.nanoseconds != 0; }
  bool stopped() const { return stop.nanoseconds != 0; }
};

// A counter group's value and owner.
struct Counter {
  guint32 value = 0;
  gint32 owner = 0;

  explicit Counter(const char *group) {
    sc_entry e[] = {{"counter_value", 4, &value, 1}, {"counter_pid", 4, &owner, 1}};
    sc_entry *list[] = {&e[0], &e[1], nullptr};
    EXPECT_EQ(sc_get_group(group, list, SC_GET_ALL), 2) << group;
  }
};

// Runs `body` in a child process; returns the child's id once it has ended.
pid_t in_child(const std::function<void()> &body) {
  velmora::testing::Child child([&] {
    body();
    return 0;
  });
  pid_t pid = child.pid();
  EXPECT_EQ(child.wait(), 0);
  return pid;
}

class TimingLog : public ::testing::Test {
 protected:
  velmora::testing::DurnikIsolation isolation_;
};

TEST_F(TimingLog, StartAndStopOnceEachUntilTheNextReset) {
  log_time_start("T");  // no group yet: nothing is created
  EXPECT_EQ(durnik_testing_group_size("T"), -1);
  log_time_reset("T");
  EXPECT_EQ(durnik_testing_group_size("T"), 220);
  log_time_stop("T", 0);  // not started: nothing
  EXPECT_FALSE(Timing("T").stopped());

  struct timespec before {
  }, after{};
  clock_gettime(CLOCK_MONOTONIC, &before);
  log_time_start("T");
  clock_gettime(CLOCK_MONOTONIC, &after);
  Timing started("T");
  ASSERT_TRUE(started.started());
  EXPECT_EQ(started.start_pid, guint16(getpid()));
  // The stored time is the monotonic clock as 64-bit seconds and 64-bit
  // nanoseconds on every system, also where time_t has 32 bits.
  EXPECT_GE(started.start.ns(), (TimeValue16{before.tv_sec, before.tv_nsec}.ns()));
  EXPECT_LE(started.start.ns(), (TimeValue16{after.tv_sec, after.tv_nsec}.ns()));
  EXPECT_LT(started.start.nanoseconds, 1000000000);
  g_usleep(2000);
  log_time_stop("T", 0);
  Timing stopped("T");
  ASSERT_TRUE(stopped.stopped());
  EXPECT_EQ(stopped.stop_pid, guint16(getpid()));
  EXPECT_GT(stopped.stop.ns(), started.start.ns());
  // Neither a second start nor a second stop moves the times.
  g_usleep(2000);
  log_time_start("T");
  log_time_stop("T", 0);
  Timing again("T");
  EXPECT_EQ(again.start.ns(), started.start.ns());
  EXPECT_EQ(again.stop.ns(), stopped.stop.ns());

  log_time_reset("T");  // an existing group is cleared, and runs again
  EXPECT_FALSE(Timing("T").started());
  log_time_start("T");
  EXPECT_TRUE(Timing("T").started());
}

// The interval timer is stopped by its starter, or with `other_process` by
// another process only; the processor-time timer by any process.
TEST_F(TimingLog, WhoMayStopATimer) {
  log_time_reset("X");
  log_time_start("X");
  in_child([] { log_time_stop("X", 0); });  // not the starter
  log_time_stop("X", 1);                    // the starter is not another process
  EXPECT_FALSE(Timing("X").stopped());
  pid_t stopper = in_child([] { log_time_stop("X", 1); });
  Timing x("X");
  ASSERT_TRUE(x.stopped());
  EXPECT_EQ(x.stop_pid, guint16(stopper));
  EXPECT_EQ(x.start_pid, guint16(getpid()));

  log_time_reset("P");
  log_time_stop_process_timer("P");  // not started: nothing
  EXPECT_FALSE(Timing("P").stopped());
  log_time_start_process_timer("P");
  // Processor time, not the monotonic clock.
  struct timespec cpu;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  EXPECT_LE(Timing("P").start.seconds, cpu.tv_sec);
  stopper = in_child([] { log_time_stop_process_timer("P"); });
  Timing p("P");
  ASSERT_TRUE(p.stopped());
  EXPECT_EQ(p.stop_pid, guint16(stopper));
  log_time_stop_process_timer("P");
  EXPECT_EQ(Timing("P").stop.ns(), p.stop.ns());
}

TEST_F(TimingLog, DriverNumbersPickTheirGroupsByLastDigit) {
  const struct {
    const char *kind;
    void (*start)(gint32);
    void (*stop)(gint32);
  } cases[] = {{"req", log_time_start_driver_req, log_time_stop_driver_req},
               {"move", log_time_start_driver_move, log_time_stop_driver_move},
               {"reply", log_time_start_driver_reply, log_time_stop_driver_reply},
               {"process", log_time_start_process_timer_driver, nullptr}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.kind);
    std::string d1 = std::string("ptzdt_driver_") + c.kind + "_d1", d2 = d1;
    d2.back() = '2';
    log_time_reset(d1.c_str());
    log_time_reset(d2.c_str());
    for (gint32 none : {3, 10, 0, -1, -12}) c.start(none);
    EXPECT_FALSE(Timing(d1).started() || Timing(d2).started());
    c.start(11);
    EXPECT_TRUE(Timing(d1).started());
    EXPECT_FALSE(Timing(d2).started());
    c.start(32);
    EXPECT_TRUE(Timing(d2).started());
    if (c.stop == nullptr) continue;
    c.stop(21);
    EXPECT_TRUE(Timing(d1).stopped());
    EXPECT_FALSE(Timing(d2).stopped());
  }
}

TEST_F(TimingLog, CounterWithOneDriver) {
  LogCapture log;
  log_counter_reset(4, "cnt");
  EXPECT_EQ(durnik_testing_group_size("cnt4"), 78);
  EXPECT_EQ(Counter("cnt4").owner, getpid());
  log_counter_update(4, "cnt", 513);
  EXPECT_EQ(Counter("cnt4").value, 513u);
  log_counter_update(5, "cnt", 9);  // no such counter: nothing
  EXPECT_EQ(durnik_testing_group_size("cnt5"), -1);
  EXPECT_TRUE(log.lines().empty());

  in_child([] { log_counter_update(4, "cnt", 77); });  // not the owner
  EXPECT_EQ(Counter("cnt4").value, 513u);
  // Without a configured number of drivers, a second reset takes it over.
  pid_t taker = in_child([] {
    log_counter_reset(4, "cnt");
    log_counter_update(4, "cnt", 21);
  });
  Counter c("cnt4");
  EXPECT_EQ(c.owner, taker);
  EXPECT_EQ(c.value, 21u);
  log_counter_update(4, "cnt", 1);
  EXPECT_EQ(Counter("cnt4").value, 21u);
  EXPECT_TRUE(log.contains(LOG_WARNING, "log_counter_update: Failed to get NbrOfDrivers"));
  log_counter_reset(4, "cnt");
  EXPECT_TRUE(log.contains(LOG_WARNING, "log_counter_reset: Failed to get NbrOfDrivers"));
  EXPECT_EQ(Counter("cnt4").owner, getpid());
}

TEST_F(TimingLog, CounterOneIsSharedOutBetweenTwoDrivers) {
  velmora::testing::TempDir dir;
  std::string path = dir.write("drivers.conf", "[PTZDriverManager]\nNbrOfDrivers=2\n");
  PTZSettingsFile files[] = {{path.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_gkf(files, nullptr));
  LogCapture log;
  log_counter_reset(1, "drv");
  pid_t second = in_child([] {
    log_counter_reset(1, "drv");  // counter 1 exists: this driver gets counter 2
    log_counter_update(1, "drv", 7);
  });
  log_counter_update(1, "drv", 3);
  // A third process finds both taken and gets neither.
  in_child([] {
    log_counter_reset(1, "drv");
    log_counter_update(1, "drv", 99);
  });
  Counter c1("drv1"), c2("drv2");
  EXPECT_EQ(c1.owner, getpid());
  EXPECT_EQ(c1.value, 3u);
  EXPECT_EQ(c2.owner, second);
  EXPECT_EQ(c2.value, 7u);

  // Other counter numbers are taken over as with one driver.
  log_counter_reset(3, "drv");
  pid_t taker = in_child([] { log_counter_reset(3, "drv"); });
  EXPECT_EQ(Counter("drv3").owner, taker);
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
