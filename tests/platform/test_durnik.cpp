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

#include <map>
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
  // A process that dies holding the lock, half-way through a write, does not
  // block the others: readers are told to try again until the next writer
  // has taken the lock over.
  Child holder([] { return durnik_testing_lock_and_keep("SHARED") == 0 ? 0 : 1; });
  ASSERT_EQ(holder.wait(), 0);
  EXPECT_EQ(error_of(sc_get_group("SHARED", v.list, SC_GET_PRESENT)), EAGAIN);
  EXPECT_EQ(sc_set_group("SHARED", v.list, SC_SET_EXISTING), 2);
  EXPECT_EQ(sc_get_group("SHARED", v.list, SC_GET_ALL), 2);
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

// A reader in one process never sees a write of another half done: every
// word of each value read is the same while a publisher rewrites them all.
TEST_F(Durnik, ReadersSeeWholeWritesOnly) {
  struct Block {
    gint64 words[512] = {};
    sc_entry entry{"BLOCK", sizeof words, words, SC_TYPE_INT};
    sc_entry *list[2] = {&entry, nullptr};
    bool whole() const {
      for (gint64 w : words)
        if (w != words[0]) return false;
      return true;
    }
  } r;
  ASSERT_EQ(sc_create_group("BLOCK", sizeof r.words, SC_CREATE_EXCLUSIVE), 0);
  ASSERT_EQ(sc_set_group("BLOCK", r.list, SC_SET_ADD), 1);
  Child publisher([] {
    Block w;
    for (gint64 i = 1;; i++) {
      for (gint64 &word : w.words) word = i;
      if (sc_set_group("BLOCK", w.list, SC_SET_EXISTING) != 1) return 1;
      if (i % 16 == 0) g_usleep(20);
    }
  });
  int torn = 0, changes = 0;
  gint64 last = 0, deadline = g_get_monotonic_time() + 500000;
  for (int reads = 0; reads < 100000 && g_get_monotonic_time() < deadline; reads++) {
    ASSERT_EQ(sc_get_group("BLOCK", r.list, SC_GET_ALL), 1) << g_strerror(errno);
    torn += !r.whole();
    changes += r.words[0] != last;
    last = r.words[0];
  }
  EXPECT_EQ(torn, 0);
  EXPECT_GT(changes, 1);
  EXPECT_TRUE(publisher.running());
}

// An object that accounts other than its owner's (and the writer group)
// could have written is believed by no reader and adopted by no writer.
TEST_F(Durnik, ObjectsWritableByOthersAreRefused) {
  Values v;
  for (mode_t mode : {0666, 0664, 0646}) {
    std::string name = "LOOSE" + std::to_string(mode);
    SCOPED_TRACE(name);
    ASSERT_EQ(sc_create_group(name.c_str(), 64, SC_CREATE_EXCLUSIVE), 0);
    ASSERT_EQ(sc_set_group(name.c_str(), v.list, SC_SET_ADD), 2);
    std::string path = "/dev/shm" + std::string(getenv("DURNIK_PREFIX")) + name;
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    // A process that has not used the group yet, as any other would.
    Child other([&] {
      bool refused = error_of(sc_get_group(name.c_str(), v.list, SC_GET_ALL)) == EACCES &&
                     error_of(sc_set_group(name.c_str(), v.list, SC_SET_EXISTING)) == EACCES &&
                     error_of(sc_create_group(name.c_str(), 64, SC_CREATE_OPEN)) == EACCES &&
                     error_of(sc_create_group(name.c_str(), 64, SC_CREATE_EXCLUSIVE)) == EEXIST;
      return refused ? 0 : 1;
    });
    EXPECT_EQ(other.wait(), 0);
  }
}

TEST_F(Durnik, DamagedGroupsAreRefusedNotTrusted) {
  const struct {
    durnik_damage damage;
    int error;
  } cases[] = {{DURNIK_DAMAGE_KEY_COUNT, EIO},  {DURNIK_DAMAGE_DATA_SIZE, EIO},   {DURNIK_DAMAGE_VALUE_OFFSET, EIO},
               {DURNIK_DAMAGE_VALUE_SIZE, EIO}, {DURNIK_DAMAGE_KEY_TEXT, ENOENT}, {DURNIK_DAMAGE_MAGIC, EIO}};
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

// The listing reports complete groups of the process's prefix only: not a
// half-made object, a FIFO (which must not stall it), a removed group or
// groups under another prefix.
TEST_F(Durnik, ListsCompleteGroupsOnly) {
  // First, before this process settles on its prefix: a group elsewhere.
  Child other([] {
    setenv("DURNIK_PREFIX", ("/velmora-other." + std::to_string(getpid()) + ".").c_str(), 1);
    return sc_create_group("elsewhere", 64, 0) == 0 ? 0 : 1;
  });
  std::string elsewhere = "/velmora-other." + std::to_string(other.pid()) + ".elsewhere";
  ASSERT_EQ(other.wait(), 0);
  ASSERT_EQ(sc_create_group("alpha", 64, 0), 0);
  ASSERT_EQ(sc_create_group("beta", 4096, 0), 0);
  ASSERT_EQ(sc_create_group("gone", 64, 0), 0);
  ASSERT_EQ(durnik_testing_remove_group("gone"), 0);
  std::string prefix = getenv("DURNIK_PREFIX");
  int half = shm_open((prefix + "half").c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(half, 0);
  ASSERT_EQ(ftruncate(half, 70000), 0);  // a creator that has not written its header yet
  close(half);
  ASSERT_EQ(mkfifo(("/dev/shm" + prefix + "fifo").c_str(), 0600), 0);

  std::map<std::string, int64_t> groups;
  auto collect = [](const char *name, int64_t size, void *data) {
    (*static_cast<std::map<std::string, int64_t> *>(data))[name] = size;
    return 0;
  };
  EXPECT_EQ(sc_list_groups(collect, &groups), 2);
  EXPECT_EQ(groups, (std::map<std::string, int64_t>{{"alpha", 64}, {"beta", 4096}}));

  int calls = 0;
  auto first_only = [](const char *, int64_t, void *data) { return ++*static_cast<int *>(data); };
  EXPECT_EQ(sc_list_groups(first_only, &calls), 1);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(error_of(sc_list_groups(nullptr, nullptr)), EINVAL);
  shm_unlink(elsewhere.c_str());
  shm_unlink((prefix + "half").c_str());
  shm_unlink((prefix + "fifo").c_str());
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
