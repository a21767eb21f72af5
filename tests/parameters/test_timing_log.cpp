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

using velmora::testing::Child;
using velmora::testing::LogCapture;

struct Timing {
  struct timespec start {}, stop {};
  guint16 start_pid = 0, stop_pid = 0;
  bool started() const { return start.tv_nsec != 0; }
  bool stopped() const { return stop.tv_nsec != 0; }
};

// The four values as another process reads them.
Timing timing(const char *group) {
  Timing t;
  sc_entry e[] = {{"start_time", 16, &t.start, 5},
                  {"start_pid", 2, &t.start_pid, 1},
                  {"stop_time", 16, &t.stop, 5},
                  {"stop_pid", 2, &t.stop_pid, 1}};
  sc_entry *list[] = {&e[0], &e[1], &e[2], &e[3], nullptr};
  EXPECT_EQ(sc_get_group(group, list, SC_GET_ALL), 4) << group;
  return t;
}

bool same_time(const struct timespec &a, const struct timespec &b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

guint16 low16(pid_t pid) { return guint16(pid & 0xffff); }

struct CounterValues {
  guint32 value = 0;
  gint32 owner = 0;
};

CounterValues counter(const char *group) {
  CounterValues c;
  sc_entry e[] = {{"counter_value", 4, &c.value, 1}, {"counter_pid", 4, &c.owner, 1}};
  sc_entry *list[] = {&e[0], &e[1], nullptr};
  EXPECT_EQ(sc_get_group(group, list, SC_GET_ALL), 2) << group;
  return c;
}

// Runs `body` in a child process; returns the child's id once it has ended.
pid_t in_child(const std::function<void()> &body) {
  Child child([&] {
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
  Timing t = timing("T");
  EXPECT_FALSE(t.started());
  EXPECT_FALSE(t.stopped());

  log_time_stop("T", 0);  // not started: nothing
  EXPECT_FALSE(timing("T").stopped());

  log_time_start("T");
  Timing started = timing("T");
  ASSERT_TRUE(started.started());
  EXPECT_EQ(started.start_pid, low16(getpid()));
  g_usleep(2000);
  log_time_start("T");
  EXPECT_TRUE(same_time(timing("T").start, started.start));

  log_time_stop("T", 0);
  Timing stopped = timing("T");
  ASSERT_TRUE(stopped.stopped());
  EXPECT_EQ(stopped.stop_pid, low16(getpid()));
  EXPECT_GT(stopped.stop.tv_sec * 1000000000LL + stopped.stop.tv_nsec,
            started.start.tv_sec * 1000000000LL + started.start.tv_nsec);
  g_usleep(2000);
  log_time_stop("T", 0);
  log_time_start("T");  // a stopped timer does not start again either
  Timing again = timing("T");
  EXPECT_TRUE(same_time(again.stop, stopped.stop));
  EXPECT_TRUE(same_time(again.start, started.start));

  log_time_reset("T");  // an existing group is cleared, and runs again
  EXPECT_FALSE(timing("T").started());
  log_time_start("T");
  EXPECT_TRUE(timing("T").started());
}

TEST_F(TimingLog, StopByTheStarterOrByAnotherProcess) {
  log_time_reset("X");
  log_time_start("X");
  in_child([] { log_time_stop("X", 0); });  // not the starter
  log_time_stop("X", 1);                    // the starter is not another process
  EXPECT_FALSE(timing("X").stopped());
  pid_t stopper = in_child([] { log_time_stop("X", 1); });
  Timing t = timing("X");
  ASSERT_TRUE(t.stopped());
  EXPECT_EQ(t.stop_pid, low16(stopper));
  EXPECT_EQ(t.start_pid, low16(getpid()));
}

TEST_F(TimingLog, ProcessTimerStoppedByAnyProcess) {
  log_time_reset("P");
  log_time_stop_process_timer("P");  // not started: nothing
  EXPECT_FALSE(timing("P").stopped());
  log_time_start_process_timer("P");
  Timing started = timing("P");
  ASSERT_TRUE(started.started());
  // Processor time, not the monotonic clock.
  struct timespec cpu;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  EXPECT_LE(started.start.tv_sec, cpu.tv_sec);

  pid_t stopper = in_child([] { log_time_stop_process_timer("P"); });
  Timing t = timing("P");
  ASSERT_TRUE(t.stopped());
  EXPECT_EQ(t.stop_pid, low16(stopper));
  log_time_stop_process_timer("P");
  EXPECT_TRUE(same_time(timing("P").stop, t.stop));
}

TEST_F(TimingLog, DriverNumbersPickTheirGroupsByLastDigit) {
  auto group = [](const char *kind, int d) { return "ptzdt_driver_" + std::string(kind) + "_d" + std::to_string(d); };
  for (const char *kind : {"req", "move", "reply", "process"})
    for (int d : {1, 2}) log_time_reset(group(kind, d).c_str());
  for (gint32 none : {3, 10, 0, -1, -12}) {
    log_time_start_driver_req(none);
    log_time_start_driver_move(none);
    log_time_start_driver_reply(none);
    log_time_start_process_timer_driver(none);
  }
  for (const char *kind : {"req", "move", "reply", "process"})
    for (int d : {1, 2}) EXPECT_FALSE(timing(group(kind, d).c_str()).started()) << kind << d;

  log_time_start_driver_move(11);
  EXPECT_TRUE(timing("ptzdt_driver_move_d1").started());
  EXPECT_FALSE(timing("ptzdt_driver_move_d2").started());
  log_time_start_driver_move(12);
  log_time_stop_driver_move(21);
  EXPECT_TRUE(timing("ptzdt_driver_move_d1").stopped());
  EXPECT_FALSE(timing("ptzdt_driver_move_d2").stopped());

  log_time_start_driver_req(2);
  log_time_stop_driver_req(32);
  EXPECT_TRUE(timing("ptzdt_driver_req_d2").stopped());
  log_time_start_driver_reply(1);
  log_time_stop_driver_reply(1);
  EXPECT_TRUE(timing("ptzdt_driver_reply_d1").stopped());
  log_time_start_process_timer_driver(2);
  EXPECT_TRUE(timing("ptzdt_driver_process_d2").started());
  EXPECT_FALSE(timing("ptzdt_driver_process_d1").started());
}

TEST_F(TimingLog, CounterWithOneDriver) {
  LogCapture log;
  log_counter_reset(4, "cnt");
  EXPECT_EQ(durnik_testing_group_size("cnt4"), 78);
  EXPECT_EQ(counter("cnt4").owner, getpid());
  log_counter_update(4, "cnt", 513);
  EXPECT_EQ(counter("cnt4").value, 513u);
  log_counter_update(5, "cnt", 9);  // no such counter: nothing
  EXPECT_EQ(durnik_testing_group_size("cnt5"), -1);
  EXPECT_TRUE(log.lines().empty());

  in_child([] { log_counter_update(4, "cnt", 77); });  // not the owner
  EXPECT_EQ(counter("cnt4").value, 513u);

  // Without a configured number of drivers, a second reset takes it over.
  pid_t taker = in_child([] {
    log_counter_reset(4, "cnt");
    log_counter_update(4, "cnt", 21);
  });
  CounterValues c = counter("cnt4");
  EXPECT_EQ(c.owner, taker);
  EXPECT_EQ(c.value, 21u);
  log_counter_update(4, "cnt", 1);
  EXPECT_EQ(counter("cnt4").value, 21u);
  EXPECT_TRUE(log.contains(LOG_WARNING, "log_counter_update: Failed to get NbrOfDrivers"));
  log_counter_reset(4, "cnt");
  EXPECT_TRUE(log.contains(LOG_WARNING, "log_counter_reset: Failed to get NbrOfDrivers"));
  EXPECT_EQ(counter("cnt4").owner, getpid());
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
  CounterValues c1 = counter("drv1"), c2 = counter("drv2");
  EXPECT_EQ(c1.owner, getpid());
  EXPECT_EQ(c1.value, 3u);
  EXPECT_EQ(c2.owner, second);
  EXPECT_EQ(c2.value, 7u);

  // A third process finds both taken and gets neither.
  in_child([] {
    log_counter_reset(1, "drv");
    log_counter_update(1, "drv", 99);
  });
  EXPECT_EQ(counter("drv1").value, 3u);
  EXPECT_EQ(counter("drv2").owner, second);
  EXPECT_EQ(counter("drv2").value, 7u);

  // Other counter numbers are taken over as with one driver.
  log_counter_reset(3, "drv");
  pid_t taker = in_child([] { log_counter_reset(3, "drv"); });
  EXPECT_EQ(counter("drv3").owner, taker);
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
