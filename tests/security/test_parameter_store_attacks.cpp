// Attacks on the parameter store: another local account (nobody) against
// its lock, its files and names planted in a directory every account may
// write; and a lock that a process of the store's own account keeps.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "common/ptz_raii.h"
#include "nobody_child.h"
#include "ptz_tamsel.h"
#include "tamsel.h"

namespace {

using velmora::testing::Child;
using velmora::testing::ChildReport;
using velmora::testing::LogCapture;
using velmora::testing::NobodyChild;
using velmora::testing::passes_in_child;

constexpr const char *kPath = "root.PTZ.Driver.Speed";

std::string value_of(const char *path) {
  velmora::GCharPtr value(ptz_tamsel_get("%s", path));
  return value ? value.get() : "<none>";
}

// The store's own account writes `value`, and readers of that account and of
// another one (nobody, who may not write) read it back. Each runs in a child
// process of its own, so that a hang is bounded.
void expect_served(const std::string &value) {
  EXPECT_TRUE(passes_in_child([&] { return ptz_tamsel_set(kPath, value.c_str(), FALSE, FALSE, FALSE, 0) == 0; }))
      << "writer";
  EXPECT_TRUE(passes_in_child([&] { return value_of(kPath) == value; })) << "reader as root";
  EXPECT_TRUE(passes_in_child([&] { return value_of(kPath) == value; }, true)) << "reader as nobody";
}

// Takes the exclusive lock on `file`; true when it is held.
bool lock(const std::string &file) {
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
}

class ParameterStoreAttack : public ::testing::Test {
 protected:
  void SetUp() override {
    VELMORA_SKIP_UNLESS_ATTACKS_CAN_RUN();
    ASSERT_TRUE(velmora::testing::open_to_other_accounts(dir_.path(), 0755))
        << dir_.path() << " is out of nobody's reach";
    use_store(dir_.file("store/params"));
  }
  void use_store(const std::string &store) {
    store_ = store;
    setenv("TAMSEL_STORE", store.c_str(), 1);
  }

  velmora::testing::TempDir dir_;
  std::string store_;
};

// Nobody cannot take the store's lock, and reads the store without it.
TEST_F(ParameterStoreAttack, OtherAccountsCannotHoldTheLock) {
  ASSERT_EQ(ptz_tamsel_set(kPath, "1", FALSE, FALSE, FALSE, 0), 0);
  ChildReport report;
  NobodyChild attacker([&] {
    report.send(lock(store_ + ".lock") ? 1 : 0);
    pause();
    return 0;
  });
  EXPECT_EQ(report.receive(), 0) << "nobody holds the store's lock";
  expect_served("2");
}

// A store that nobody may not read is reported as a failing store, not as a
// parameter without a value.
TEST_F(ParameterStoreAttack, AStoreThatCannotBeReadIsReportedAsSuch) {
  ASSERT_EQ(ptz_tamsel_set(kPath, "1", FALSE, FALSE, FALSE, 0), 0);
  ASSERT_EQ(chmod(store_.c_str(), 0600), 0);
  EXPECT_TRUE(passes_in_child(
      [] {
        LogCapture log;
        gint32 speed = 0;
        return ptz_tamsel_get("%s", kPath) == nullptr && !ptz_tamsel_get_int(&speed, "%s", kPath) &&
               log.count(LOG_ERR, std::string("Could not get parameter ") + kPath + ", err = 5") == 2;
      },
      true));
}

// In a directory that every account may write (like /tmp), nobody plants
// names of the store's files before the store's account writes: a link at a
// name is never followed and a file of nobody's is never used nor believed;
// the write either succeeds through files of its own or fails as a store
// error, and the link's target is never touched.
TEST_F(ParameterStoreAttack, NamesPlantedInASharedDirectory) {
  enum Plant {
    kLink,
    kStore,
    kHeldLock
  };
  const struct {
    const char *name;
    const char *planted;  // after the store's name
    Plant plant;
    bool stored;  // the write succeeds
  } plants[] = {{"a link at the temporary file's name", ".tmp", kLink, true},
                {"a link at the store's name", "", kLink, false},
                {"a store of nobody's", "", kStore, false},
                {"a link at the lock's name", ".lock", kLink, false},
                {"a lock file of nobody's, held", ".lock", kHeldLock, false}};
  velmora::testing::TempDir victims;
  int n = 0;
  for (const auto &p : plants) {
    SCOPED_TRACE(p.name);
    std::string shared = dir_.file("shared" + std::to_string(n++));
    ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
    ASSERT_TRUE(velmora::testing::open_to_other_accounts(shared, 01777));
    use_store(shared + "/params");
    const std::string victim = victims.write("victim" + std::to_string(n), "precious");
    const std::string planted = store_ + p.planted;
    ChildReport report;
    NobodyChild planter([&] {
      bool done = false;
      if (p.plant == kLink) {
        done = symlink(victim.c_str(), planted.c_str()) == 0;
      } else {
        int fd = open(planted.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
        const char forged[] = "root.PTZ.Driver.Speed\0forged";
        done = fd >= 0 && write(fd, forged, sizeof forged) == ssize_t(sizeof forged) &&
               (p.plant == kStore || lock(planted));
      }
      report.send(done ? 1 : 0);
      pause();
      return 0;
    });
    ASSERT_EQ(report.receive(), 1);
    EXPECT_TRUE(passes_in_child([&] {
      gint err = ptz_tamsel_set(kPath, "5", FALSE, FALSE, FALSE, 0);
      std::string value = value_of(kPath);
      return (p.stored ? err == 0 && value == "5" : err == TAMSEL_ERR_STORE) && value != "forged";
    }));
    EXPECT_EQ(velmora::testing::read_file(victim), "precious");
  }
}

// A process of the store's own account that keeps the lock delays writers
// for a bounded time only; readers do not wait for it at all.
TEST(ParameterStoreFault, ALockKeptTooLongIsAStoreError) {
  velmora::testing::TempDir dir;
  setenv("TAMSEL_STORE", dir.file("params").c_str(), 1);
  ASSERT_EQ(ptz_tamsel_set(kPath, "1", FALSE, FALSE, FALSE, 0), 0);
  ChildReport report;
  Child holder([&] {
    report.send(lock(dir.file("params.lock")) ? 1 : 0);
    pause();
    return 0;
  });
  ASSERT_EQ(report.receive(), 1);
  EXPECT_TRUE(passes_in_child([] {
    LogCapture log;
    return value_of(kPath) == "1" && ptz_tamsel_set(kPath, "2", FALSE, FALSE, FALSE, 0) == TAMSEL_ERR_STORE &&
           log.contains(LOG_WARNING, std::string("Could not set parameter ") + kPath + " to \"2\", err = 5");
  }));
}

}  // namespace
