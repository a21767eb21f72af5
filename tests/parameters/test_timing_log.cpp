// Timing and counter logs across real processes: who may start and stop a
// timer, repeated starts and stops, driver routing, and counter ownership with
// one and with two drivers configured.
#include "ptz_timing_log.h"

#include <gtest/gtest.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

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

// The four values as another process reads them; false when unreadable.
bool read_timing(const char *group, Timing *t) {
  *t = {};
  sc_entry e[] = {{"start_time", 16, &t->start, 5},
                  {"start_pid", 2, &t->start_pid, 1},
                  {"stop_time", 16, &t->stop, 5},
                  {"stop_pid", 2, &t->stop_pid, 1}};
  sc_entry *list[] = {&e[0], &e[1], &e[2], &e[3], nullptr};
  return sc_get_group(group, list, SC_GET_ALL) == 4;
}

Timing timing(const char *group) {
  Timing t;
  EXPECT_TRUE(read_timing(group, &t)) << group;
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

bool read_counter(const char *group, CounterValues *c) {
  sc_entry e[] = {{"counter_value", 4, &c->value, 1}, {"counter_pid", 4, &c->owner, 1}};
  sc_entry *list[] = {&e[0], &e[1], nullptr};
  return sc_get_group(group, list, SC_GET_ALL) == 2;
}

CounterValues counter(const char *group) {
  CounterValues c;
  EXPECT_TRUE(read_counter(group, &c)) << group;
  return c;
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
  Child own_rule([] {
    log_time_stop("X", 0);  // B may not stop A's timer as its own
    return 0;
  });
  ASSERT_EQ(own_rule.wait(), 0);
  EXPECT_FALSE(timing("X").stopped());

  log_time_stop("X", 1);  // A is not "another process"
  EXPECT_FALSE(timing("X").stopped());

  pid_t stopper = 0;
  {
    Child other([] {
      log_time_stop("X", 1);
      return 0;
    });
    stopper = other.pid();
    ASSERT_EQ(other.wait(), 0);
  }
  Timing t = timing("X");
  ASSERT_TRUE(t.stopped());
  EXPECT_EQ(t.stop_pid, low16(stopper));
  EXPECT_EQ(t.start_pid, low16(getpid()));

  // Started by a child, stopped by the parent as "another process".
  log_time_reset("Y");
  Child starter([] {
    log_time_start("Y");
    return 0;
  });
  ASSERT_EQ(starter.wait(), 0);
  log_time_stop("Y", 0);
  EXPECT_FALSE(timing("Y").stopped());
  log_time_stop("Y", 7);
  EXPECT_EQ(timing("Y").stop_pid, low16(getpid()));
}

TEST_F(TimingLog, ProcessTimerStoppedByAnyProcess) {
  log_time_reset("P");
  log_time_stop_process_timer("P");  // not started: nothing
  EXPECT_FALSE(timing("P").stopped());
  log_time_start_process_timer("P");
  Timing started = timing("P");
  ASSERT_TRUE(started.started());
  // Processor time, not the monotonic clock: far below the machine's uptime.
  struct timespec cpu;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  EXPECT_LE(started.start.tv_sec, cpu.tv_sec);

  pid_t stopper = 0;
  {
    Child child([] {
      log_time_stop_process_timer("P");
      return 0;
    });
    stopper = child.pid();
    ASSERT_EQ(child.wait(), 0);
  }
  Timing t = timing("P");
  ASSERT_TRUE(t.stopped());
  EXPECT_EQ(t.stop_pid, low16(stopper));
  log_time_stop_process_timer("P");
  EXPECT_TRUE(same_time(timing("P").stop, t.stop));
}

TEST_F(TimingLog, DriverNumbersPickTheirGroupsByLastDigit) {
  const char *kinds[] = {"req", "move", "reply", "process"};
  for (const char *kind : kinds)
    for (const char *d : {"d1", "d2"}) log_time_reset((std::string("ptzdt_driver_") + kind + "_" + d).c_str());
  auto started = [](const char *kind, const char *d) {
    return timing((std::string("ptzdt_driver_") + kind + "_" + d).c_str()).started();
  };
  auto stopped = [](const char *kind, const char *d) {
    return timing((std::string("ptzdt_driver_") + kind + "_" + d).c_str()).stopped();
  };

  for (gint32 none : {3, 10, 0, -1, -12}) {
    log_time_start_driver_req(none);
    log_time_start_driver_move(none);
    log_time_start_driver_reply(none);
    log_time_start_process_timer_driver(none);
  }
  for (const char *kind : kinds)
    for (const char *d : {"d1", "d2"}) EXPECT_FALSE(started(kind, d)) << kind << d;

  log_time_start_driver_move(11);
  EXPECT_TRUE(started("move", "d1"));
  EXPECT_FALSE(started("move", "d2"));
  log_time_start_driver_move(12);
  EXPECT_TRUE(started("move", "d2"));
  log_time_stop_driver_move(21);
  EXPECT_TRUE(stopped("move", "d1"));
  EXPECT_FALSE(stopped("move", "d2"));

  log_time_start_driver_req(2);
  log_time_stop_driver_req(32);
  EXPECT_TRUE(stopped("req", "d2"));
  EXPECT_FALSE(started("req", "d1"));

  log_time_start_driver_reply(1);
  log_time_stop_driver_reply(2);  // the other driver's reply timer is not running
  EXPECT_TRUE(started("reply", "d1"));
  EXPECT_FALSE(stopped("reply", "d1"));
  EXPECT_FALSE(started("reply", "d2"));

  log_time_start_process_timer_driver(1);
  EXPECT_TRUE(started("process", "d1"));
  EXPECT_FALSE(started("process", "d2"));
  log_time_stop_process_timer("ptzdt_driver_process_d1");
  EXPECT_TRUE(stopped("process", "d1"));
}

// Loads a key file naming the number of drivers.
void configure_drivers(const velmora::testing::TempDir &dir, int drivers) {
  std::string path =
      dir.write("drivers.conf", "[PTZDriverManager]\nNbrOfDrivers=" + std::to_string(drivers) + "\n");
  PTZSettingsFile files[] = {{path.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_gkf(files, nullptr));
}

TEST_F(TimingLog, CounterWithOneDriver) {
  LogCapture log;
  log_counter_reset(4, "cnt");
  EXPECT_EQ(durnik_testing_group_size("cnt4"), 78);
  CounterValues c = counter("cnt4");
  EXPECT_EQ(c.value, 0u);
  EXPECT_EQ(c.owner, getpid());
  log_counter_update(4, "cnt", 513);
  EXPECT_EQ(counter("cnt4").value, 513u);
  log_counter_update(5, "cnt", 9);  // no such counter: nothing
  EXPECT_EQ(durnik_testing_group_size("cnt5"), -1);
  EXPECT_TRUE(log.lines().empty());

  Child other([] {
    log_counter_update(4, "cnt", 77);  // not the owner
    return 0;
  });
  ASSERT_EQ(other.wait(), 0);
  EXPECT_EQ(counter("cnt4").value, 513u);

  // Without a configured number of drivers, a second reset takes the counter over.
  pid_t taker = 0;
  {
    Child take([] {
      log_counter_reset(4, "cnt");
      log_counter_update(4, "cnt", 21);
      return 0;
    });
    taker = take.pid();
    ASSERT_EQ(take.wait(), 0);
  }
  c = counter("cnt4");
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
  configure_drivers(dir, 2);
  LogCapture log;
  log_counter_reset(1, "drv");
  EXPECT_EQ(counter("drv1").owner, getpid());

  pid_t second = 0;
  {
    Child child([] {
      log_counter_reset(1, "drv");  // counter 1 exists: this driver gets counter 2
      log_counter_update(1, "drv", 7);
      return 0;
    });
    second = child.pid();
    ASSERT_EQ(child.wait(), 0);
  }
  CounterValues c2 = counter("drv2");
  EXPECT_EQ(c2.owner, second);
  EXPECT_EQ(c2.value, 7u);
  CounterValues c1 = counter("drv1");
  EXPECT_EQ(c1.owner, getpid());
  EXPECT_EQ(c1.value, 0u);
  log_counter_update(1, "drv", 3);
  EXPECT_EQ(counter("drv1").value, 3u);
  EXPECT_EQ(counter("drv2").value, 7u);

  // A third process finds both taken and gets neither.
  Child third([] {
    log_counter_reset(1, "drv");
    log_counter_update(1, "drv", 99);
    return 0;
  });
  ASSERT_EQ(third.wait(), 0);
  EXPECT_EQ(counter("drv1").value, 3u);
  EXPECT_EQ(counter("drv2").owner, second);
  EXPECT_EQ(counter("drv2").value, 7u);

  // Other counter numbers are taken over as with one driver.
  log_counter_reset(3, "drv");
  Child taker([] {
    log_counter_reset(3, "drv");
    return 0;
  });
  ASSERT_EQ(taker.wait(), 0);
  EXPECT_NE(counter("drv3").owner, getpid());
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(TimingLog, CounterOneIsTakenOverWithOneDriverConfigured) {
  velmora::testing::TempDir dir;
  configure_drivers(dir, 1);
  LogCapture log;
  log_counter_reset(1, "one");
  Child child([] {
    log_counter_reset(1, "one");
    return 0;
  });
  ASSERT_EQ(child.wait(), 0);
  EXPECT_EQ(durnik_testing_group_size("one2"), -1);
  EXPECT_NE(counter("one1").owner, getpid());
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
