// The status cache stand-in on its own: flags, all-or-nothing writes and
// reads, other processes, a lock left by a dead process, damaged groups.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#include "durnik.h"
#include "tests/parameters/durnik_isolation.h"
#include "velmora_test.h"

namespace {

using velmora::testing::Child;
using velmora::testing::TimeValue16;

struct Values {
  gint32 number = 0;
  TimeValue16 time;
  sc_entry e_number{"NUMBER", 4, &number, SC_TYPE_INT};
  sc_entry e_time{"TIME", 16, &time, SC_TYPE_TIMESPEC};
  sc_entry *list[3] = {&e_number, &e_time, nullptr};
};

// Whether the kernel releases the robust mutexes of a process that dies.
// User-mode emulators (qemu-user) do not implement robust futex lists, so a
// program running under one cannot recover a dead holder's lock.
bool robust_futexes() {
  void *head = nullptr;
  size_t length = 0;
  return syscall(SYS_get_robust_list, 0, &head, &length) == 0;
}

// errno of a failed call, 0 for success.
int error_of(int result) { return result < 0 ? errno : 0; }

class Durnik : public ::testing::Test {
 protected:
  velmora::testing::DurnikIsolation isolation_;
};

TEST_F(Durnik, FlagsAndAllOrNothing) {
  Values w, r;
  EXPECT_EQ(error_of(sc_set_group("G", w.list, SC_SET_ADD)), ENOENT);
  EXPECT_EQ(sc_create_group("G", 24, SC_CREATE_EXCLUSIVE), 0);
  EXPECT_EQ(error_of(sc_create_group("G", 24, SC_CREATE_EXCLUSIVE)), EEXIST);
  EXPECT_EQ(sc_create_group("G", 500, SC_CREATE_OPEN), 0);
  EXPECT_EQ(durnik_testing_group_size("G"), 24);
  EXPECT_EQ(error_of(sc_create_group("a/b", 8, 0)), EINVAL);

  // Keys not yet in the group: refused in existing-only mode, nothing added.
  EXPECT_EQ(error_of(sc_set_group("G", w.list, SC_SET_EXISTING)), ENOENT);
  EXPECT_EQ(durnik_testing_key_count("G"), 0);
  w.number = -42;
  w.time = {1234, 5678};
  EXPECT_EQ(sc_set_group("G", w.list, SC_SET_ADD), 2);

  // A key the group lacks: strict reads fail untouched, lenient ones skip it.
  gint32 missing = 99;
  sc_entry e_missing{"MISSING", 4, &missing, SC_TYPE_INT};
  sc_entry *with_missing[] = {&r.e_time, &e_missing, nullptr};
  EXPECT_EQ(error_of(sc_get_group("G", with_missing, SC_GET_ALL)), ENOENT);
  EXPECT_EQ(r.time.seconds, 0);
  EXPECT_EQ(sc_get_group("G", with_missing, SC_GET_PRESENT), 1);
  EXPECT_EQ(r.time.nanoseconds, 5678);
  EXPECT_EQ(missing, 99);
  // A known key read with another size would overrun the caller's variable.
  gint64 wide = 0;
  sc_entry e_wide{"NUMBER", 8, &wide, SC_TYPE_INT}, *wide_list[] = {&e_wide, nullptr};
  EXPECT_EQ(error_of(sc_get_group("G", wide_list, SC_GET_PRESENT)), EINVAL);

  // The group is full (4 + 16 of 24 bytes): a new key that would not fit
  // fails the whole write, the known key in it keeps its value.
  gint32 n = 7, big = 1;
  sc_entry e_n{"NUMBER", 4, &n, SC_TYPE_INT}, e_big{"BIG", 8, &big, SC_TYPE_INT};
  sc_entry *overflow[] = {&e_n, &e_big, nullptr};
  EXPECT_EQ(error_of(sc_set_group("G", overflow, SC_SET_ADD)), ENOSPC);
  EXPECT_EQ(sc_get_group("G", r.list, SC_GET_ALL), 2);
  EXPECT_EQ(r.number, -42);
}

// (Values written by one process and read by another are checked by the
// status cache and timing log tests.)

// A process that dies holding the lock does not block the others.
TEST_F(Durnik, OtherProcessesRecoverADeadHoldersLock) {
  if (!robust_futexes()) GTEST_SKIP() << "no robust futexes here (a user-mode emulator?)";
  Values v;
  ASSERT_EQ(sc_create_group("SHARED", 128, 0), 0);
  ASSERT_EQ(sc_set_group("SHARED", v.list, SC_SET_ADD), 2);
  Child holder([] { return durnik_testing_lock_and_keep("SHARED") == 0 ? 0 : 1; });
  ASSERT_EQ(holder.wait(), 0);
  EXPECT_EQ(sc_set_group("SHARED", v.list, SC_SET_EXISTING), 2);
}

// A group removed by another process is missing here too, though mapped.
TEST_F(Durnik, OtherProcessesSeeRemovals) {
  Values v;
  ASSERT_EQ(sc_create_group("SHARED", 128, 0), 0);
  ASSERT_EQ(sc_set_group("SHARED", v.list, SC_SET_ADD), 2);
  Child remover([] { return durnik_testing_remove_group("SHARED"); });
  ASSERT_EQ(remover.wait(), 0);
  EXPECT_EQ(error_of(sc_get_group("SHARED", v.list, SC_GET_PRESENT)), ENOENT);
}

TEST_F(Durnik, DamagedGroupsAreRefusedNotTrusted) {
  const struct {
    durnik_damage damage;
    int error;
  } cases[] = {{DURNIK_DAMAGE_KEY_COUNT, EIO},    {DURNIK_DAMAGE_DATA_SIZE, EIO},
               {DURNIK_DAMAGE_VALUE_OFFSET, EIO}, {DURNIK_DAMAGE_VALUE_SIZE, EIO},
               {DURNIK_DAMAGE_KEY_TEXT, ENOENT},  {DURNIK_DAMAGE_MAGIC, EIO}};
  for (const auto &c : cases) {
    std::string name = "DAMAGED" + std::to_string(int(c.damage));
    SCOPED_TRACE(name);
    Values w, r;
    ASSERT_EQ(sc_create_group(name.c_str(), 64, 0), 0);
    ASSERT_EQ(sc_set_group(name.c_str(), w.list, SC_SET_ADD), 2);
    ASSERT_EQ(durnik_testing_damage(name.c_str(), c.damage), 0);
    r.number = 77;
    EXPECT_EQ(error_of(sc_get_group(name.c_str(), r.list, SC_GET_ALL)), c.error);
    EXPECT_EQ(r.number, 77);
    EXPECT_EQ(error_of(sc_set_group(name.c_str(), r.list, SC_SET_EXISTING)), c.error);
  }
}

// An object grown by 4 GiB looks, in a 32-bit size_t, exactly as large as
// its header says; it is refused on every system all the same.
TEST_F(Durnik, ObjectsLargerThanAnyGroupAreRefused) {
  // Made in a child, so that this process has not mapped it yet.
  Child maker([] {
    Values w;
    return sc_create_group("GROWN", 64, 0) == 0 && sc_set_group("GROWN", w.list, SC_SET_ADD) == 2 ? 0 : 1;
  });
  ASSERT_EQ(maker.wait(), 0);
  std::string object = std::string(getenv("DURNIK_PREFIX")) + "GROWN";
  int fd = shm_open(object.c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  struct stat st {};
  ASSERT_EQ(fstat(fd, &st), 0);
  ASSERT_EQ(ftruncate(fd, st.st_size + (off_t(1) << 32)), 0) << g_strerror(errno);
  close(fd);
  Values r;
  r.number = 77;
  EXPECT_EQ(error_of(sc_get_group("GROWN", r.list, SC_GET_ALL)), EIO);
  EXPECT_EQ(r.number, 77);
}

}  // namespace
