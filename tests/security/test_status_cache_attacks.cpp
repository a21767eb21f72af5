// Attacks on the status cache: another local account (nobody) against the
// groups of a root publisher, a publisher's own process that truncates a
// group under its readers, and a creator killed half-way.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "durnik.h"
#include "nobody_child.h"
#include "ptz_status_cache.h"
#include "ptz_timing_log.h"
#include "tests/parameters/durnik_isolation.h"

namespace {

using velmora::testing::Child;
using velmora::testing::ChildReport;
using velmora::testing::LogCapture;
using velmora::testing::NobodyChild;
using velmora::testing::passes_in_child;

// The shared-memory object that holds a group, and its path.
std::string object_of(const std::string &group) { return getenv("DURNIK_PREFIX") + group; }
std::string path_of(const std::string &group) { return "/dev/shm" + object_of(group); }

// A publisher's or a reader's description of a Position group: pan and tilt.
class Position {
 public:
  explicit Position(guint32 index) : group_(ptz_status_cache_setup_group(PTZ_SC_GROUP_POSITION, index, 2)) {
    ptz_status_cache_add_param(group_, PTZ_SC_PARAM_POSITION_PAN, &pan_);
    ptz_status_cache_add_param(group_, PTZ_SC_PARAM_POSITION_TILT, &tilt_);
  }
  ~Position() { ptz_status_cache_free_group(group_); }
  Position(const Position &) = delete;
  Position &operator=(const Position &) = delete;

  bool publish(gfloat pan) {
    pan_ = tilt_ = pan;
    return ptz_status_cache_update_group(group_);
  }
  // The pan read from the cache, when it can be read and pan and tilt agree.
  std::optional<gfloat> fetch() {
    if (!ptz_status_cache_fetch_group(group_) || pan_ != tilt_) return std::nullopt;
    return pan_;
  }

 private:
  gfloat pan_ = 0, tilt_ = 0;
  PTZStatusCacheGroup *group_;
};

// Fails when a group's legitimate clients are not served: the publisher
// (root, a process of its own) writes `pan`, and readers as root and as
// nobody read it back.
void expect_served(guint32 index, gfloat pan) {
  EXPECT_TRUE(passes_in_child([&] { return Position(index).publish(pan); })) << "publisher";
  EXPECT_TRUE(passes_in_child([&] { return Position(index).fetch() == pan; })) << "reader as root";
  EXPECT_TRUE(passes_in_child([&] { return Position(index).fetch() == pan; }, true)) << "reader as nobody";
}

class StatusCacheAttack : public ::testing::Test {
 protected:
  void SetUp() override { VELMORA_SKIP_UNLESS_ATTACKS_CAN_RUN(); }
  velmora::testing::DurnikIsolation isolation_;
};

// Each attack runs as nobody against a group of its own, reports whether it
// took, and keeps what it got (a lock, a mapping) until the test is done.
TEST_F(StatusCacheAttack, OtherAccountsCannotChangeAGroup) {
  const struct {
    const char *name;
    std::function<bool(const std::string &group, guint32 index)> attack;
  } attacks[] = {
      {"forge values", [](const std::string &, guint32 index) { return Position(index).publish(666.0f); }},
      {"hold the lock",
       [](const std::string &group, guint32) { return durnik_testing_lock_and_keep(group.c_str()) == 0; }},
      {"write garbage",
       [](const std::string &group, guint32) {
         int fd = shm_open(object_of(group).c_str(), O_RDWR, 0);
         char junk[4096];
         memset(junk, 0xA5, sizeof junk);
         return fd >= 0 && pwrite(fd, junk, sizeof junk, 0) == ssize_t(sizeof junk);
       }},
      {"truncate",
       [](const std::string &group, guint32) {
         int fd = shm_open(object_of(group).c_str(), O_RDWR, 0);
         return fd >= 0 && ftruncate(fd, 0) == 0;
       }},
  };
  guint32 index = 0;
  for (const auto &a : attacks) {
    SCOPED_TRACE(a.name);
    std::string group = "PTZ_POSITION_IS" + std::to_string(index);
    ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_POSITION, index));
    ASSERT_TRUE(Position(index).publish(1.0f));
    ChildReport report;
    NobodyChild attacker([&] {
      report.send(a.attack(group, index) ? 1 : 0);
      pause();
      return 0;
    });
    EXPECT_EQ(report.receive(), 0) << "the attack took";
    expect_served(index, 2.0f);
    index++;
  }
}

// A name that another account took first is neither adopted for writing nor
// believed by readers: the publisher fails with a clear error and the
// squatter's object stays as it was.
TEST_F(StatusCacheAttack, SquattedNamesAreNeitherAdoptedNorBelieved) {
  const struct {
    const char *name;
    std::function<bool(guint32 index)> squat;
  } squats[] = {
      {"a group with forged values", [](guint32 index) { return Position(index).publish(666.0f); }},
      {"an object with no group in it",
       [](guint32 index) {
         std::string object = object_of("PTZ_POSITION_IS" + std::to_string(index));
         int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
         return fd >= 0 && fchmod(fd, 0666) == 0 && ftruncate(fd, 4096) == 0;
       }},
  };
  guint32 index = 1;
  for (const auto &s : squats) {
    SCOPED_TRACE(s.name);
    std::string group = "PTZ_POSITION_IS" + std::to_string(index);
    NobodyChild squatter([&] { return s.squat(index) ? 0 : 1; });
    ASSERT_EQ(squatter.wait(), 0);
    std::string before = velmora::testing::read_file(path_of(group));

    LogCapture log;
    EXPECT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_POSITION, index));  // TRUE whatever the update did
    EXPECT_EQ(log.count(LOG_ERR, "Could not set status cache parameter group " + group + ". Permission denied!"), 1u);
    EXPECT_FALSE(Position(index).publish(1.0f));
    EXPECT_EQ(sc_create_group(group.c_str(), 1536, SC_CREATE_OPEN), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(Position(index).fetch(), std::nullopt);
    EXPECT_TRUE(log.contains(LOG_ERR, "Could not get status cache parameter group " + group + ". Permission denied!"));

    struct stat st;
    ASSERT_EQ(stat(path_of(group).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, velmora::testing::nobody_account()->uid);
    EXPECT_EQ(velmora::testing::read_file(path_of(group)), before);
    index++;
  }
}

// A FIFO at a group's name: opening it for reading would wait for a writer
// forever. Publisher, readers and the listing refuse it at once (each check
// runs under an alarm, so a hang fails instead of stalling the suite).
TEST_F(StatusCacheAttack, AFifoAtAGroupsNameStallsNobody) {
  const std::string group = "PTZ_POSITION_IS7";
  NobodyChild squatter([&] { return mkfifo(path_of(group).c_str(), 0666) == 0 ? 0 : 1; });
  ASSERT_EQ(squatter.wait(), 0);
  auto promptly = [](const std::function<bool()> &check) {
    return [check] {
      alarm(10);
      return check();
    };
  };
  EXPECT_TRUE(passes_in_child(promptly([] { return !Position(7).publish(1.0f); }))) << "publisher";
  EXPECT_TRUE(passes_in_child(promptly([] { return Position(7).fetch() == std::nullopt; }))) << "reader as root";
  EXPECT_TRUE(passes_in_child(promptly([] { return Position(7).fetch() == std::nullopt; }), true))
      << "reader as nobody";
  EXPECT_TRUE(passes_in_child(promptly([&] {
    int listed = 0;
    auto count = [](const char *, int64_t, void *n) {
      ++*static_cast<int *>(n);
      return 0;
    };
    return sc_list_groups(count, &listed) == 0 && listed == 0;
  }))) << "listing";
}

// Timing groups are started and stopped by processes of several services:
// with a writer group configured, an account in that group stops a timer
// that root started; an account outside it cannot.
TEST_F(StatusCacheAttack, ConfiguredWriterGroupSharesTimingGroups) {
  constexpr gid_t kWriters = 64999;
  setenv("DURNIK_GROUP", std::to_string(kWriters).c_str(), 1);
  log_time_reset("T");
  log_time_start("T");
  struct stat st;
  ASSERT_EQ(stat(path_of("T").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_EQ(st.st_gid, kWriters);

  velmora::testing::TimeValue16 stop;
  guint16 stopper = 0;
  sc_entry e_stop{"stop_time", 16, &stop, SC_TYPE_TIMESPEC}, e_pid{"stop_pid", 2, &stopper, SC_TYPE_INT};
  sc_entry *list[] = {&e_stop, &e_pid, nullptr};
  NobodyChild outsider([] {
    log_time_stop("T", 1);
    return 0;
  });
  ASSERT_EQ(outsider.wait(), 0);
  ASSERT_EQ(sc_get_group("T", list, SC_GET_ALL), 2);
  EXPECT_EQ(stop.nanoseconds, 0) << "stopped by an account outside the writer group";

  NobodyChild member(
      [] {
        log_time_stop("T", 1);
        return 0;
      },
      {kWriters});
  pid_t member_pid = member.pid();
  ASSERT_EQ(member.wait(), 0);
  ASSERT_EQ(sc_get_group("T", list, SC_GET_ALL), 2);
  EXPECT_NE(stop.nanoseconds, 0);
  EXPECT_EQ(stopper, guint16(member_pid));
}

// Faults of the publisher's own account: no other account is needed.
class StatusCacheFault : public ::testing::Test {
 protected:
  velmora::testing::DurnikIsolation isolation_;
};

// A process of the publisher's account truncates a group that a reader has
// open: the reader gets an error, not SIGBUS; the next update builds the
// group anew and the reader sees it again.
TEST_F(StatusCacheFault, ReadersSurviveATruncatedGroup) {
  // Published from a child process, so that this one holds no mapping of it.
  ASSERT_TRUE(passes_in_child([] { return Position(4).publish(1.0f); }));
  ChildReport ready, truncated;
  Child reader([&] {
    Position position(4);
    bool first = position.fetch() == 1.0f;
    ready.send(1);
    truncated.receive();
    bool refused = position.fetch() == std::nullopt;
    ready.send(2);
    truncated.receive();
    return first && refused && position.fetch() == 3.0f ? 0 : 1;
  });
  ASSERT_EQ(ready.receive(), 1);
  int fd = shm_open(object_of("PTZ_POSITION_IS4").c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 0), 0);
  close(fd);
  truncated.send(1);
  EXPECT_EQ(ready.receive(), 2);
  EXPECT_TRUE(passes_in_child([] { return Position(4).publish(3.0f); }));
  truncated.send(2);
  EXPECT_EQ(reader.wait(), 0);
  EXPECT_EQ(reader.signal(), 0);
}

// A creator killed half-way leaves nothing that blocks the next one.
TEST_F(StatusCacheFault, CreatorKilledHalfWayDoesNotBlockTheNext) {
  Child creator([] {
    durnik_testing_die_in_next_create();
    ptz_status_cache_create_group(PTZ_SC_GROUP_LIMIT, 0);
    return 0;
  });
  EXPECT_EQ(creator.wait(), -1);
  EXPECT_EQ(creator.signal(), SIGKILL);
  LogCapture log;
  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_LIMIT, 0));
  EXPECT_TRUE(log.lines().empty());
  gint32 max_pan = 0;
  PTZStatusCacheGroup *limit = ptz_status_cache_setup_group(PTZ_SC_GROUP_LIMIT, 0, 1);
  ptz_status_cache_add_param(limit, PTZ_SC_PARAM_LIMIT_MAX_PAN, &max_pan);
  EXPECT_TRUE(ptz_status_cache_fetch_group(limit));
  EXPECT_EQ(max_pan, 180);
  ptz_status_cache_free_group(limit);
}

}  // namespace
