// Status cache groups: names, every key with its size and type code, adding,
// writing, reading back (also from another process), defaults, and the error
// lines.
#include "ptz_status_cache.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <syslog.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "durnik.h"
#include "tests/parameters/durnik_isolation.h"
#include "velmora_test.h"

namespace {

using velmora::testing::Child;
using velmora::testing::LogCapture;

struct Key {
  guint32 param;
  const char *key;
  guint64 size;
  gint32 type;
};

// The keys as other processes read them, written out independently of the
// library's own table.
std::vector<Key> position_keys() {
  std::vector<Key> keys;
  const char *four[] = {"PAN_DEG",        "TILT_DEG",       "PAN_MECH_STEPS", "TILT_MECH_STEPS",
                        "FIXED_PAN",      "FIXED_TILT",     "ZOOM_MAG",       "ZOOM_KOVIR",
                        "ZOOM_HFOV",      "ZOOM_VFOV",      "ZOOM_MASK_HFOV", "ZOOM_MASK_VFOV",
                        "IRIS_KOVIR",     "FOCUS_KOVIR",    "BRIGHTNESS_KOVIR", "PAN_STATUS",
                        "TILT_STATUS",    "ZOOM_STATUS",    "IRIS_STATUS",    "FOCUS_STATUS",
                        "BRIGHTNESS_STATUS", "UPDATE_RATE"};
  const guint32 floats[] = {0, 1, 6, 8, 9, 10, 11};
  for (guint32 p = 0; p < 22; p++) {
    bool real = std::find(std::begin(floats), std::end(floats), p) != std::end(floats);
    keys.push_back({p, four[p], 4, real ? 2 : 1});
  }
  keys.push_back({22, "TIME_VAL", 8, 4});
  const char *motions[] = {"PAN", "TILT", "ZOOM", "IRIS", "FOCUS", "BRIGHT"};
  static const std::vector<std::string> names = [&] {
    std::vector<std::string> out;
    for (const char *gm : {"", "GM_"})
      for (const char *m : motions)
        for (const char *state : {"IDLE", "MOVING"})
          out.push_back(std::string(gm) + m + "_STATUS_" + state + "_TIME");
    return out;
  }();
  for (guint32 i = 0; i < names.size(); i++) keys.push_back({23 + i, names[i].c_str(), 16, 5});
  return keys;
}

std::vector<Key> int_keys(guint32 first, std::initializer_list<const char *> names) {
  std::vector<Key> keys;
  for (const char *name : names) keys.push_back({first++, name, 4, 1});
  return keys;
}

std::vector<Key> various_keys() {
  return int_keys(49, {"PAN_FLIPPED", "TILT_FLIPPED", "CAM_FLIPPED", "AUTO_FLIPPING", "PT_PRESET_MOVE",
                       "AUTO_FOCUS", "AUTO_IRIS", "BACKLIGHT", "IR_CUT_FILTER", "OVERVIEW_MODE"});
}

std::vector<Key> limit_keys() {
  return int_keys(59, {"MIN_PAN", "MAX_PAN", "MIN_TILT", "MAX_TILT", "MIN_ZOOM", "MAX_ZOOM", "MIN_IRIS",
                       "MAX_IRIS", "MIN_FOCUS", "MAX_FOCUS", "MIN_FIELD_ANGLE", "MAX_FIELD_ANGLE",
                       "MIN_BRIGHTNESS", "MAX_BRIGHTNESS"});
}

// Storage for a value of any of the four kinds.
union Value {
  gint32 integer;
  gfloat real;
  guint32 timeval[2];
  struct timespec timespec;
  unsigned char bytes[16];
};

// Reads the listed keys straight from the status cache, demanding the
// documented size and type code of each (the cache refuses any other).
int read_raw(const char *group, const std::vector<Key> &keys, std::vector<Value> *values) {
  values->assign(keys.size(), Value{});
  std::vector<sc_entry> entries;
  for (size_t i = 0; i < keys.size(); i++)
    entries.push_back({keys[i].key, keys[i].size, &(*values)[i], keys[i].type});
  std::vector<sc_entry *> list;
  for (auto &e : entries) list.push_back(&e);
  list.push_back(nullptr);
  return sc_get_group(group, list.data(), SC_GET_ALL);
}

class StatusCache : public ::testing::Test {
 protected:
  velmora::testing::DurnikIsolation isolation_;
  LogCapture log_;
};

TEST_F(StatusCache, EveryKeyIsWrittenWithItsSizeAndTypeCode) {
  struct Case {
    PTZSCGroup group;
    const char *name;
    std::vector<Key> keys;
  } cases[] = {{PTZ_SC_GROUP_POSITION, "PTZ_POSITION_IS3", position_keys()},
               {PTZ_SC_GROUP_VARIOUS, "PTZ_VARIOUS_IS3", various_keys()},
               {PTZ_SC_GROUP_LIMIT, "PTZ_LIMIT_IS3", limit_keys()}};
  for (auto &c : cases) {
    PTZStatusCacheGroup *group = ptz_status_cache_setup_group(c.group, 3, 60);
    ASSERT_NE(group, nullptr);
    std::vector<Value> written(c.keys.size());
    for (size_t i = 0; i < c.keys.size(); i++) {
      memset(&written[i], int(i + 1), sizeof(Value));
      ASSERT_TRUE(ptz_status_cache_add_param(group, c.keys[i].param, &written[i])) << c.keys[i].key;
    }
    ASSERT_TRUE(ptz_status_cache_update_group(group));
    std::vector<Value> read;
    ASSERT_EQ(read_raw(c.name, c.keys, &read), int(c.keys.size())) << c.name;
    for (size_t i = 0; i < c.keys.size(); i++)
      EXPECT_EQ(memcmp(&read[i], &written[i], c.keys[i].size), 0) << c.keys[i].key;
    ptz_status_cache_free_group(group);
  }
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(StatusCache, SetupAndAdd) {
  struct Case {
    PTZSCGroup group;
    guint32 index;
    const char *name;
    gint32 size;
  } cases[] = {{PTZ_SC_GROUP_POSITION, 0, "PTZ_POSITION_IS0", 1536},
               {PTZ_SC_GROUP_PRESET, 7, "PTZ_PRESET_IS7", 64},
               {PTZ_SC_GROUP_VARIOUS, 12, "PTZ_VARIOUS_IS12", 228},
               {PTZ_SC_GROUP_LIMIT, 4294967295u, "PTZ_LIMIT_IS4294967295", 512}};
  for (auto &c : cases) {
    PTZStatusCacheGroup *group = ptz_status_cache_setup_group(c.group, c.index, 5);
    ASSERT_NE(group, nullptr);
    EXPECT_STREQ(group->name, c.name);
    EXPECT_EQ(group->size, c.size);
    ptz_status_cache_free_group(group);
  }
  EXPECT_EQ(ptz_status_cache_setup_group(PTZSCGroup(4), 0, 5), nullptr);
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not setup status cache group. No such group 4!"));
  EXPECT_EQ(ptz_status_cache_setup_group(PTZ_SC_GROUP_POSITION, 0, G_MAXUINT32), nullptr);

  gint32 v = 0;
  PTZStatusCacheGroup *position = ptz_status_cache_setup_group(PTZ_SC_GROUP_POSITION, 0, 2);
  EXPECT_TRUE(ptz_status_cache_add_param(position, 0, &v));
  EXPECT_FALSE(ptz_status_cache_add_param(position, 47, &v));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not add parameter to group 0. No such parameter 47!"));
  EXPECT_TRUE(ptz_status_cache_add_param(position, 1, &v));
  EXPECT_FALSE(ptz_status_cache_add_param(position, 2, &v));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not add parameter 2. No space left in group PTZ_POSITION_IS0!"));
  // A capacity raised past the allocation never lets an add write beyond it.
  position->capacity = 1000;
  EXPECT_FALSE(ptz_status_cache_add_param(position, 2, &v));
  EXPECT_EQ(position->count, 2);
  ptz_status_cache_free_group(position);

  PTZStatusCacheGroup *various = ptz_status_cache_setup_group(PTZ_SC_GROUP_VARIOUS, 0, 5);
  EXPECT_TRUE(ptz_status_cache_add_param(various, 58, &v));
  EXPECT_STREQ(various->entries[0]->key, "OVERVIEW_MODE");
  EXPECT_FALSE(ptz_status_cache_add_param(various, G_MAXUINT32, &v));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not add parameter to group 2. No such parameter -1!"));
  ptz_status_cache_free_group(various);
  PTZStatusCacheGroup *limit = ptz_status_cache_setup_group(PTZ_SC_GROUP_LIMIT, 0, 5);
  EXPECT_FALSE(ptz_status_cache_add_param(limit, 58, &v));
  EXPECT_EQ(limit->count, 0);
  ptz_status_cache_free_group(limit);

  // The Preset group takes nothing, silently.
  log_.clear();
  PTZStatusCacheGroup *preset = ptz_status_cache_setup_group(PTZ_SC_GROUP_PRESET, 0, 5);
  EXPECT_FALSE(ptz_status_cache_add_param(preset, 47, &v));
  EXPECT_TRUE(log_.lines().empty());
  ptz_status_cache_free_group(preset);
  EXPECT_FALSE(ptz_status_cache_add_param(nullptr, 12, &v));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not add parameter 12. No group setup!"));
}

TEST_F(StatusCache, UpdateCreatesTheGroupAndOtherVariablesFetchIt) {
  gfloat pan = 12.5f;
  gint32 status = 1;
  struct timespec idle = {100, 200};
  PTZStatusCacheGroup *writer = ptz_status_cache_setup_group(PTZ_SC_GROUP_POSITION, 2, 10);
  ptz_status_cache_add_param(writer, PTZ_SC_PARAM_POSITION_PAN, &pan);
  ptz_status_cache_add_param(writer, PTZ_SC_PARAM_POSITION_PAN_STATUS, &status);
  ptz_status_cache_add_param(writer, PTZ_SC_PARAM_POSITION_IRIS_STATUS_IDLE_TIME, &idle);
  EXPECT_EQ(durnik_testing_group_size("PTZ_POSITION_IS2"), -1);
  ASSERT_TRUE(ptz_status_cache_update_group(writer));
  EXPECT_EQ(durnik_testing_group_size("PTZ_POSITION_IS2"), 1536);

  // A reader in another process, in other variables and order, sees a
  // later update.
  pan = -3.25f;
  status = 0;
  ASSERT_TRUE(ptz_status_cache_update_group(writer));
  Child child([] {
    gfloat p = 0;
    gint32 s = -5;
    struct timespec t = {};
    PTZStatusCacheGroup *r = ptz_status_cache_setup_group(PTZ_SC_GROUP_POSITION, 2, 5);
    ptz_status_cache_add_param(r, PTZ_SC_PARAM_POSITION_IRIS_STATUS_IDLE_TIME, &t);
    ptz_status_cache_add_param(r, PTZ_SC_PARAM_POSITION_PAN, &p);
    ptz_status_cache_add_param(r, PTZ_SC_PARAM_POSITION_PAN_STATUS, &s);
    bool ok = ptz_status_cache_fetch_group(r) && p == -3.25f && s == 0 && t.tv_sec == 100 &&
              t.tv_nsec == 200 && r->capacity == 3;  // the number of values read
    return ok ? 0 : 1;
  });
  EXPECT_EQ(child.wait(), 0);
  ptz_status_cache_free_group(writer);
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(StatusCache, UpdateAndFetchFailuresAreLogged) {
  gint32 v = 0;
  EXPECT_FALSE(ptz_status_cache_update_group(nullptr));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not update status cache. No group setup!"));
  EXPECT_FALSE(ptz_status_cache_fetch_group(nullptr));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not fetch status cache. No group setup!"));

  PTZStatusCacheGroup *group = ptz_status_cache_setup_group(PTZ_SC_GROUP_LIMIT, 5, 3);
  ptz_status_cache_add_param(group, PTZ_SC_PARAM_LIMIT_MIN_PAN, &v);
  ptz_status_cache_add_param(group, PTZ_SC_PARAM_LIMIT_MAX_PAN, &v);

  // A reader that comes before the publisher fails, and can try again later.
  EXPECT_FALSE(ptz_status_cache_fetch_group(group));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not get status cache parameter group PTZ_LIMIT_IS5. "
                                     "No such file or directory!"));
  EXPECT_EQ(group->capacity, 3);
  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_LIMIT, 5));
  EXPECT_TRUE(ptz_status_cache_fetch_group(group));
  EXPECT_EQ(v, 180);

  group->capacity = 1;
  EXPECT_FALSE(ptz_status_cache_update_group(group));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not update status cache. To many parameters in group PTZ_LIMIT_IS5!"));
  EXPECT_FALSE(ptz_status_cache_fetch_group(group));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not fetch status cache. To many parameters in group PTZ_LIMIT_IS5!"));
  ptz_status_cache_free_group(group);

  // Another process made a group of this name with other value types: the
  // write is refused and the group cannot be created anew.
  gint32 wrong = 0;
  sc_entry foreign{"PAN_DEG", 4, &wrong, SC_TYPE_INT};
  sc_entry *list[] = {&foreign, nullptr};
  ASSERT_EQ(sc_create_group("PTZ_POSITION_IS6", 1536, 0), 0);
  ASSERT_EQ(sc_set_group("PTZ_POSITION_IS6", list, SC_SET_ADD), 1);
  gfloat pan = 1;
  PTZStatusCacheGroup *position = ptz_status_cache_setup_group(PTZ_SC_GROUP_POSITION, 6, 1);
  ptz_status_cache_add_param(position, PTZ_SC_PARAM_POSITION_PAN, &pan);
  EXPECT_FALSE(ptz_status_cache_update_group(position));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not create status cache group PTZ_POSITION_IS6. File exists!"));
  ptz_status_cache_free_group(position);
}

#ifdef VELMORA_PLATFORM_BUNDLED
TEST_F(StatusCache, WriteFailingAfterCreationIsLogged) {
  gint32 v = 1;
  PTZStatusCacheGroup *group = ptz_status_cache_setup_group(PTZ_SC_GROUP_VARIOUS, 8, 1);
  ptz_status_cache_add_param(group, PTZ_SC_PARAM_VARIOUS_BACKLIGHT_COMPENSATION, &v);
  // The first write finds no group; the one after the creation fails.
  durnik_testing_fail_call(DURNIK_TESTING_SET, 2, EIO);
  EXPECT_FALSE(ptz_status_cache_update_group(group));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not set status cache parameter group PTZ_VARIOUS_IS8. "
                                     "Input/output error!"));
  EXPECT_EQ(durnik_testing_group_size("PTZ_VARIOUS_IS8"), 228);
  EXPECT_TRUE(ptz_status_cache_update_group(group));
  ptz_status_cache_free_group(group);
}
#endif

TEST_F(StatusCache, CreateWritesTheDefaults) {
  struct timespec before;
  clock_gettime(CLOCK_MONOTONIC, &before);
  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_POSITION, 0));
  struct timespec after;
  clock_gettime(CLOCK_MONOTONIC, &after);
  std::vector<Value> v;
  auto keys = position_keys();
  ASSERT_EQ(read_raw("PTZ_POSITION_IS0", keys, &v), 47);
  EXPECT_EQ(durnik_testing_group_size("PTZ_POSITION_IS0"), 1536);
  for (guint32 p : {0u, 1u, 8u, 9u, 10u, 11u}) EXPECT_EQ(v[p].real, 0.0f) << p;
  EXPECT_EQ(v[6].real, 1.0f);
  for (guint32 p : {2u, 3u, 4u, 5u}) EXPECT_EQ(v[p].integer, 0) << p;
  for (guint32 p : {7u, 12u, 13u, 14u}) EXPECT_EQ(v[p].integer, 1) << p;
  for (guint32 p = 15; p <= 20; p++) EXPECT_EQ(v[p].integer, PTZ_MOVE_STATUS_INVALID) << p;
  EXPECT_EQ(v[21].integer, 30);
  EXPECT_GE(v[22].timeval[0], guint32(before.tv_sec));
  EXPECT_LE(v[22].timeval[0], guint32(after.tv_sec));
  EXPECT_LT(v[22].timeval[1], 1000000u);
  static const unsigned char zero[16] = {};
  for (guint32 p = 23; p <= 46; p++) EXPECT_EQ(memcmp(v[p].bytes, zero, 16), 0) << p;

  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_VARIOUS, 0));
  auto various = various_keys();
  auto overview = various.back();
  various.pop_back();
  ASSERT_EQ(read_raw("PTZ_VARIOUS_IS0", various, &v), 9);
  for (size_t i = 0; i < various.size(); i++) EXPECT_EQ(v[i].integer, 0) << various[i].key;
  EXPECT_LT(read_raw("PTZ_VARIOUS_IS0", {overview}, &v), 0);  // not created

  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_LIMIT, 1));
  ASSERT_EQ(read_raw("PTZ_LIMIT_IS1", limit_keys(), &v), 14);
  const gint32 limits[] = {-180, 180, -180, 180, 1, 19999, 1, 9999, 1, 9999, 1, 9999, 1, 9999};
  for (size_t i = 0; i < 14; i++) EXPECT_EQ(v[i].integer, limits[i]) << i;

  EXPECT_TRUE(log_.lines().empty());

  EXPECT_FALSE(ptz_status_cache_create_group(PTZ_SC_GROUP_PRESET, 0));
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(durnik_testing_group_size("PTZ_PRESET_IS0"), -1);
  EXPECT_FALSE(ptz_status_cache_create_group(PTZSCGroup(4), 0));
  EXPECT_TRUE(log_.contains(LOG_ERR, "Could not create status cache group. No such group 4!"));
}

}  // namespace
