// Timing and counter statistics in status-cache groups of their own. Nothing
// is kept between calls: every call reads what it needs from the cache, and a
// group that is missing or unreadable leaves the statistic as it was.
#include "ptz_timing_log.h"

#include <errno.h>
#include <time.h>
#include <unistd.h>

#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "durnik.h"
#include "parameters/ptz_status_cache_codes.h"
#include "ptz_settings.h"

namespace {

using namespace velmora::status_cache;

constexpr int64_t kTimingGroupSize = 220;
constexpr int64_t kCounterGroupSize = 78;

// The names a missing number of drivers is logged under.
constexpr char kCounterReset[] = "log_counter_reset";
constexpr char kCounterUpdate[] = "log_counter_update";

guint16 short_pid(pid_t pid) { return guint16(pid & 0xffff); }

// One time and the process that wrote it ("start_time"/"start_pid" or
// "stop_time"/"stop_pid"), read and written together.
struct TimePair {
  TimeValue16 time{};
  guint16 pid = 0;
  sc_entry time_entry;
  sc_entry pid_entry;
  sc_entry *list[3];

  TimePair(const char *time_key, const char *pid_key)
      : time_entry{time_key, sizeof time, &time, kTimespec},
        pid_entry{pid_key, sizeof pid, &pid, kInt},
        list{&time_entry, &pid_entry, nullptr} {}
  TimePair(const TimePair &) = delete;
  TimePair &operator=(const TimePair &) = delete;

  // A time counts as set when its nanoseconds are not zero.
  bool set() const { return time.nanoseconds != 0; }
  int read(const char *group) { return sc_get_group(group, list, kGetPresent); }
  void write(const char *group, clockid_t clock, pid_t writer) {
    struct timespec now {};
    clock_gettime(clock, &now);
    time = TimeValue16::from(now);
    pid = short_pid(writer);
    sc_set_group(group, list, kSetAddKeys);
  }
};

struct StartPair : TimePair {
  StartPair() : TimePair("start_time", "start_pid") {}
};
struct StopPair : TimePair {
  StopPair() : TimePair("stop_time", "stop_pid") {}
};

void start_timer(const gchar *group, clockid_t clock) {
  if (group == nullptr) return;
  pid_t self = getpid();
  StartPair start;
  // A running or finished timer is not restarted; a missing group is left alone.
  if (start.read(group) <= 0 || start.set()) return;
  start.write(group, clock, self);
}

// The groups of one driver measurement, for driver numbers ending in 1 and 2.
struct DriverGroups {
  const char *d1;
  const char *d2;
  const char *pick(gint32 driver) const {
    switch (driver % 10) {
      case 1:
        return d1;
      case 2:
        return d2;
      default:
        return nullptr;
    }
  }
};
constexpr DriverGroups kRequest{"ptzdt_driver_req_d1", "ptzdt_driver_req_d2"};
constexpr DriverGroups kMove{"ptzdt_driver_move_d1", "ptzdt_driver_move_d2"};
constexpr DriverGroups kReply{"ptzdt_driver_reply_d1", "ptzdt_driver_reply_d2"};
constexpr DriverGroups kProcess{"ptzdt_driver_process_d1", "ptzdt_driver_process_d2"};

void start_driver(const DriverGroups &groups, gint32 driver) {
  if (const char *group = groups.pick(driver)) log_time_start(group);
}

void stop_driver(const DriverGroups &groups, gint32 driver) {
  if (const char *group = groups.pick(driver)) log_time_stop(group, 0);
}

// A counter's value and owner.
struct Counter {
  guint32 value = 0;
  gint32 owner = 0;
  sc_entry value_entry{"counter_value", sizeof value, &value, kInt};
  sc_entry owner_entry{"counter_pid", sizeof owner, &owner, kInt};
  sc_entry *list[3] = {&value_entry, &owner_entry, nullptr};

  Counter() = default;
  Counter(const Counter &) = delete;
  Counter &operator=(const Counter &) = delete;
};

velmora::GCharPtr counter_name(const gchar *prefix, gint32 counter) {
  return velmora::GCharPtr(g_strdup_printf("%s%d", prefix, counter));
}

// Sets the counter to 0 with the calling process as its owner.
void claim(const gchar *name) {
  Counter counter;
  counter.owner = getpid();
  sc_set_group(name, counter.list, kSetAddKeys);
}

// Reads the counter; false when it cannot be read.
bool read_counter(const gchar *name, Counter *counter) { return sc_get_group(name, counter->list, kGetAll) >= 0; }

// Stores the value when the calling process owns the counter just read; the
// owner is written back unchanged.
bool store_if_owner(const gchar *name, Counter *counter, guint16 value) {
  if (counter->owner != getpid()) return false;
  counter->value = value;
  sc_set_group(name, counter->list, kSetExistingKeys);
  return true;
}

gint number_of_drivers(const char *function) {
  gint drivers = 0;
  if (!ptz_settings_get_custom_int("PTZDriverManager", "NbrOfDrivers", &drivers)) {
    PTZ_LOG_WARNING("%s: Failed to get NbrOfDrivers", function);
    drivers = 1;
  }
  return drivers;
}

}  // namespace

void log_time_reset(const gchar *group) {
  if (group == nullptr) return;
  sc_create_group(group, kTimingGroupSize, kCreateOrOpen);  // an existing group is fine
  StartPair start;
  StopPair stop;
  sc_entry *all[] = {&start.time_entry, &start.pid_entry, &stop.time_entry, &stop.pid_entry, nullptr};
  sc_set_group(group, all, kSetAddKeys);
}

void log_time_start(const gchar *group) { start_timer(group, CLOCK_MONOTONIC); }

void log_time_stop(const gchar *group, gint32 other_process) {
  if (group == nullptr) return;
  pid_t self = getpid();
  StartPair start;
  if (start.read(group) < 0 || !start.set()) return;
  StopPair stop;
  if (stop.read(group) < 0 || stop.set()) return;
  bool started_here = start.pid == short_pid(self);
  if (other_process == 0 ? !started_here : started_here) return;
  stop.write(group, CLOCK_MONOTONIC, self);
}

void log_time_start_process_timer(const gchar *group) { start_timer(group, CLOCK_PROCESS_CPUTIME_ID); }

void log_time_stop_process_timer(const gchar *group) {
  if (group == nullptr) return;
  StopPair stop;
  StartPair start;
  if (stop.read(group) < 0 || start.read(group) < 0) return;
  if (!start.set() || stop.set()) return;
  // The processor time of the process that started the timer, when it can be
  // found; the stored id holds only the low 16 bits of that process's id.
  clockid_t clock;
  struct timespec probe;
  if (clock_getcpuclockid(pid_t(start.pid), &clock) != 0 || clock_gettime(clock, &probe) != 0)
    clock = CLOCK_PROCESS_CPUTIME_ID;
  stop.write(group, clock, getpid());
}

void log_time_start_driver_req(gint32 driver) { start_driver(kRequest, driver); }
void log_time_stop_driver_req(gint32 driver) { stop_driver(kRequest, driver); }
void log_time_start_driver_move(gint32 driver) { start_driver(kMove, driver); }
void log_time_stop_driver_move(gint32 driver) { stop_driver(kMove, driver); }
void log_time_start_driver_reply(gint32 driver) { start_driver(kReply, driver); }
void log_time_stop_driver_reply(gint32 driver) { stop_driver(kReply, driver); }

void log_time_start_process_timer_driver(gint32 driver) {
  if (const char *group = kProcess.pick(driver)) log_time_start_process_timer(group);
}

void log_counter_reset(gint32 counter, const gchar *prefix) {
  if (prefix == nullptr) return;
  velmora::GCharPtr name = counter_name(prefix, counter);
  if (sc_create_group(name.get(), kCounterGroupSize, kCreateExclusive) >= 0) {
    claim(name.get());
    return;
  }
  if (errno != EEXIST) return;
  if (number_of_drivers(kCounterReset) > 1 && counter == 1) {
    // The first driver owns counter 1; the second takes counter 2 if it is new.
    velmora::GCharPtr second = counter_name(prefix, 2);
    if (sc_create_group(second.get(), kCounterGroupSize, kCreateExclusive) >= 0) claim(second.get());
    return;
  }
  claim(name.get());
}

void log_counter_update(gint32 counter, const gchar *prefix, guint16 value) {
  if (prefix == nullptr) return;
  velmora::GCharPtr name = counter_name(prefix, counter);
  Counter first;
  if (!read_counter(name.get(), &first) || store_if_owner(name.get(), &first, value)) return;
  if (number_of_drivers(kCounterUpdate) > 1 && counter == 1) {
    velmora::GCharPtr second_name = counter_name(prefix, 2);
    Counter second;
    if (read_counter(second_name.get(), &second)) store_if_owner(second_name.get(), &second, value);
  }
}
