// The status cache stand-in on its own: flags, all-or-nothing writes and reads,
// capacity, other processes, a lock left by a dead process, damaged groups.
#include <errno.h>
#include <gtest/gtest.h>

#include <cstring>

#include "durnik.h"
#include "tests/parameters/durnik_isolation.h"
#include "velmora_test.h"

namespace {

using velmora::testing::Child;

// A few values of the kinds the framework stores.
struct Values {
  gint32 number = 0;
  float real = 0;
  struct timespec time {};
  sc_entry e_number{"NUMBER", 4, &number, SC_TYPE_INT};
  sc_entry e_real{"REAL", 4, &real, SC_TYPE_FLOAT};
  sc_entry e_time{"TIME", 16, &time, SC_TYPE_TIMESPEC};
  sc_entry *list[4] = {&e_number, &e_real, &e_time, nullptr};
};

class Durnik : public ::testing::Test {
 protected:
  velmora::testing::DurnikIsolation isolation_;
};

TEST_F(Durnik, CreateFlagsAndArguments) {
  EXPECT_EQ(sc_create_group("G", 100, SC_CREATE_EXCLUSIVE), 0);
  EXPECT_EQ(durnik_testing_group_size("G"), 100);
  errno = 0;
  EXPECT_LT(sc_create_group("G", 100, SC_CREATE_EXCLUSIVE), 0);
  EXPECT_EQ(errno, EEXIST);
  // Open mode takes an existing group as it is.
  EXPECT_EQ(sc_create_group("G", 500, SC_CREATE_OPEN), 0);
  EXPECT_EQ(durnik_testing_group_size("G"), 100);
  EXPECT_EQ(sc_create_group("H", 64, SC_CREATE_OPEN), 0);

  struct Bad {
    const char *name;
    int64_t size;
    int flag;
  } bad[] = {{nullptr, 8, 0}, {"", 8, 0}, {"a/b", 8, 0}, {"X", 0, 0},
             {"X", -5, 0},    {"X", int64_t(SC_GROUP_SIZE_MAX) + 1, 0}, {"X", 8, 2}};
  for (const Bad &b : bad) {
    errno = 0;
    EXPECT_LT(sc_create_group(b.name, b.size, b.flag), 0) << (b.name ? b.name : "NULL") << " " << b.size;
    EXPECT_EQ(errno, EINVAL);
  }
  errno = 0;
  EXPECT_LT(sc_create_group(std::string(201, 'n').c_str(), 8, 0), 0);
  EXPECT_EQ(errno, EINVAL);
}

TEST_F(Durnik, SetAndGetFlagsAreAllOrNothing) {
  Values w;
  errno = 0;
  EXPECT_LT(sc_set_group("G", w.list, SC_SET_ADD), 0);
  EXPECT_EQ(errno, ENOENT);

  ASSERT_EQ(sc_create_group("G", 256, 0), 0);
  // Keys not in the group: refused in existing-only mode, nothing added.
  errno = 0;
  EXPECT_LT(sc_set_group("G", w.list, SC_SET_EXISTING), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(durnik_testing_key_count("G"), 0);

  w.number = -42;
  w.real = 2.5f;
  w.time = {1234, 5678};
  EXPECT_EQ(sc_set_group("G", w.list, SC_SET_ADD), 3);
  EXPECT_EQ(durnik_testing_key_count("G"), 3);
  w.number = 7;
  sc_entry *only_number[] = {&w.e_number, nullptr};
  EXPECT_EQ(sc_set_group("G", only_number, SC_SET_EXISTING), 1);

  Values r;
  EXPECT_EQ(sc_get_group("G", r.list, SC_GET_ALL), 3);
  EXPECT_EQ(r.number, 7);
  EXPECT_EQ(r.real, 2.5f);
  EXPECT_EQ(r.time.tv_sec, 1234);
  EXPECT_EQ(r.time.tv_nsec, 5678);

  // A key the group lacks: strict reads fail untouched, lenient ones skip it.
  gint32 missing = 99;
  Values r2;
  sc_entry e_missing{"MISSING", 4, &missing, SC_TYPE_INT};
  sc_entry *with_missing[] = {&r2.e_number, &e_missing, nullptr};
  errno = 0;
  EXPECT_LT(sc_get_group("G", with_missing, SC_GET_ALL), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(r2.number, 0);
  EXPECT_EQ(sc_get_group("G", with_missing, SC_GET_PRESENT), 1);
  EXPECT_EQ(r2.number, 7);
  EXPECT_EQ(missing, 99);

  // A known key with another size or type is refused both ways.
  gint64 wide = 0;
  sc_entry e_wide{"NUMBER", 8, &wide, SC_TYPE_INT};
  sc_entry e_retyped{"NUMBER", 4, &wide, SC_TYPE_FLOAT};
  for (sc_entry *e : {&e_wide, &e_retyped}) {
    sc_entry *list[] = {e, nullptr};
    errno = 0;
    EXPECT_LT(sc_set_group("G", list, SC_SET_ADD), 0);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_LT(sc_get_group("G", list, SC_GET_PRESENT), 0);
    EXPECT_EQ(errno, EINVAL);
  }

  // Unusable entries and flags.
  sc_entry no_key{nullptr, 4, &missing, 1}, long_key{"", 4, &missing, 1};
  std::string too_long(SC_KEY_MAX + 1, 'k');
  long_key.key = too_long.c_str();
  sc_entry no_data{"K", 4, nullptr, 1}, no_size{"K", 0, &missing, 1}, no_type{"K", 4, &missing, 0};
  for (sc_entry *e : {&no_key, &long_key, &no_data, &no_size, &no_type}) {
    sc_entry *list[] = {e, nullptr};
    errno = 0;
    EXPECT_LT(sc_set_group("G", list, SC_SET_ADD), 0);
    EXPECT_EQ(errno, EINVAL);
  }
  EXPECT_LT(sc_set_group("G", nullptr, SC_SET_ADD), 0);
  EXPECT_LT(sc_set_group("G", w.list, 0), 0);
  EXPECT_LT(sc_get_group("G", w.list, 2), 0);
  EXPECT_EQ(durnik_testing_key_count("G"), 3);
}

TEST_F(Durnik, CapacityOfDataAndDirectory) {
  ASSERT_EQ(sc_create_group("SMALL", 12, 0), 0);
  gint32 a = 1, b = 2, c = 3, d = 4;
  sc_entry ea{"A", 4, &a, 1}, eb{"B", 4, &b, 1}, ec{"C", 4, &c, 1}, ed{"D", 4, &d, 1};
  sc_entry *ab[] = {&ea, &eb, nullptr};
  sc_entry *cd[] = {&ec, &ed, nullptr};
  EXPECT_EQ(sc_set_group("SMALL", ab, SC_SET_ADD), 2);
  // C would fit, D would not: neither is added.
  errno = 0;
  EXPECT_LT(sc_set_group("SMALL", cd, SC_SET_ADD), 0);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(durnik_testing_key_count("SMALL"), 2);
  sc_entry *c_only[] = {&ec, nullptr};
  EXPECT_EQ(sc_set_group("SMALL", c_only, SC_SET_ADD), 1);

  // The directory is bounded too, whatever the data size.
  ASSERT_EQ(sc_create_group("WIDE", 100000, 0), 0);
  int added = 0;
  for (int i = 0; i < 1000; i++) {
    std::string key = "K" + std::to_string(i);
    sc_entry e{key.c_str(), 4, &a, 1};
    sc_entry *list[] = {&e, nullptr};
    if (sc_set_group("WIDE", list, SC_SET_ADD) < 0) {
      EXPECT_EQ(errno, ENOSPC);
      break;
    }
    added++;
  }
  EXPECT_GT(added, 40);
  EXPECT_LT(added, 1000);
}

TEST_F(Durnik, OtherProcessesSeeTheValuesAndRecoverADeadHoldersLock) {
  // The child opens a group it has never seen; the parent reads what it wrote.
  Child writer([] {
    Values w;
    w.number = 314;
    w.real = -1.5f;
    w.time = {9, 10};
    if (sc_create_group("SHARED", 128, 0) < 0) return 1;
    return sc_set_group("SHARED", w.list, SC_SET_ADD) == 3 ? 0 : 2;
  });
  ASSERT_EQ(writer.wait(), 0);
  Values r;
  ASSERT_EQ(sc_get_group("SHARED", r.list, SC_GET_ALL), 3);
  EXPECT_EQ(r.number, 314);
  EXPECT_EQ(r.real, -1.5f);
  EXPECT_EQ(r.time.tv_nsec, 10);

  // A process that dies holding the lock does not block the others.
  Child holder([] { return durnik_testing_lock_and_keep("SHARED") == 0 ? 0 : 1; });
  ASSERT_EQ(holder.wait(), 0);
  r.number = 0;
  EXPECT_EQ(sc_get_group("SHARED", r.list, SC_GET_ALL), 3);
  EXPECT_EQ(r.number, 314);
  r.number = 5;
  EXPECT_EQ(sc_set_group("SHARED", r.list, SC_SET_EXISTING), 3);
}

TEST_F(Durnik, RemovedGroupIsMissingEvenToProcessesThatHadItOpen) {
  ASSERT_EQ(sc_create_group("GONE", 64, 0), 0);
  Values w;
  ASSERT_EQ(sc_set_group("GONE", w.list, SC_SET_ADD), 3);
  Child remover([] { return durnik_testing_remove_group("GONE") == 0 ? 0 : 1; });
  ASSERT_EQ(remover.wait(), 0);
  errno = 0;
  EXPECT_LT(sc_get_group("GONE", w.list, SC_GET_PRESENT), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(sc_create_group("GONE", 64, 0), 0);
  EXPECT_EQ(sc_get_group("GONE", w.list, SC_GET_PRESENT), 0);
}

TEST_F(Durnik, DamagedGroupsAreRefusedNotTrusted) {
  struct Case {
    durnik_damage damage;
    int error;
  } cases[] = {{DURNIK_DAMAGE_KEY_COUNT, EIO},    {DURNIK_DAMAGE_DATA_SIZE, EIO},
               {DURNIK_DAMAGE_VALUE_OFFSET, EIO}, {DURNIK_DAMAGE_VALUE_SIZE, EIO},
               {DURNIK_DAMAGE_KEY_TEXT, ENOENT},  {DURNIK_DAMAGE_MAGIC, EIO}};
  for (const Case &c : cases) {
    std::string name = "DAMAGED" + std::to_string(int(c.damage));
    Values w;
    ASSERT_EQ(sc_create_group(name.c_str(), 64, 0), 0);
    ASSERT_EQ(sc_set_group(name.c_str(), w.list, SC_SET_ADD), 3);
    ASSERT_EQ(durnik_testing_damage(name.c_str(), c.damage), 0);
    Values r;
    r.number = 77;
    errno = 0;
    EXPECT_LT(sc_get_group(name.c_str(), r.list, SC_GET_ALL), 0) << name;
    EXPECT_EQ(errno, c.error) << name;
    EXPECT_EQ(r.number, 77) << name;
    errno = 0;
    EXPECT_LT(sc_set_group(name.c_str(), r.list, SC_SET_EXISTING), 0) << name;
    EXPECT_EQ(errno, c.error) << name;
  }
}

TEST_F(Durnik, InjectedFailureHitsTheNthCallOnly) {
  ASSERT_EQ(sc_create_group("G", 64, 0), 0);
  Values w;
  durnik_testing_fail_call(DURNIK_TESTING_SET, 2, EROFS);
  EXPECT_EQ(sc_set_group("G", w.list, SC_SET_ADD), 3);
  errno = 0;
  EXPECT_LT(sc_set_group("G", w.list, SC_SET_ADD), 0);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(sc_set_group("G", w.list, SC_SET_ADD), 3);
}

}  // namespace
