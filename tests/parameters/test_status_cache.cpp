// Status cache groups as other processes see them: names, sizes, every key
// with its size and type code, defaults, a reader in another process, and
// the refusals with their log lines.
#include "ptz_status_cache.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <syslog.h>
#include <time.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "durnik.h"
#include "tests/parameters/durnik_isolation.h"
#include "velmora_test.h"

namespace {

using velmora::testing::Child;
using velmora::testing::LogCapture;

struct Key {
  guint32 param;
  std::string key;
  guint64 size;
  gint32 type;
};

// Keys numbered from `first`, 4-byte integers unless changed; written out
// independently of the library's own table.
std::vector<Key> keys(guint32 first, std::initializer_list<const char *> names) {
  std::vector<Key> out;
  for (const char *name : names) out.push_back({first++, name, 4, 1});
  return out;
}

std::vector<Key> position_keys() {
  std::vector<Key> out = keys(
      0, {"PAN_DEG",     "TILT_DEG",     "PAN_MECH_STEPS",    "TILT_MECH_STEPS", "FIXED_PAN",      "FIXED_TILT",
          "ZOOM_MAG",    "ZOOM_KOVIR",   "ZOOM_HFOV",         "ZOOM_VFOV",       "ZOOM_MASK_HFOV", "ZOOM_MASK_VFOV",
          "IRIS_KOVIR",  "FOCUS_KOVIR",  "BRIGHTNESS_KOVIR",  "PAN_STATUS",      "TILT_STATUS",    "ZOOM_STATUS",
          "IRIS_STATUS", "FOCUS_STATUS", "BRIGHTNESS_STATUS", "UPDATE_RATE"});
  for (guint32 p : {0, 1, 6, 8, 9, 10, 11}) out[p].type = 2;  // floats
  out.push_back({22, "TIME_VAL", 8, 4});
  for (const char *gm : {"", "GM_"})
    for (const char *m : {"PAN", "TILT", "ZOOM", "IRIS", "FOCUS", "BRIGHT"})
      for (const char *state : {"_IDLE_TIME", "_MOVING_TIME"})
        out.push_back({guint32(out.size()), std::string(gm) + m + "_STATUS" + state, 16, 5});
  return out;
}

const std::vector<Key> kPosition = position_keys();
const std::vector<Key> kVarious =
    keys(49, {"PAN_FLIPPED", "TILT_FLIPPED", "CAM_FLIPPED", "AUTO_FLIPPING", "PT_PRESET_MOVE", "AUTO_FOCUS",
              "AUTO_IRIS", "BACKLIGHT", "IR_CUT_FILTER", "OVERVIEW_MODE"});
const std::vector<Key> kLimit =
    keys(59, {"MIN_PAN", "MAX_PAN", "MIN_TILT", "MAX_TILT", "MIN_ZOOM", "MAX_ZOOM", "MIN_IRIS", "MAX_IRIS", "MIN_FOCUS",
              "MAX_FOCUS", "MIN_FIELD_ANGLE", "MAX_FIELD_ANGLE", "MIN_BRIGHTNESS", "MAX_BRIGHTNESS"});

// Storage for a value of any of the four kinds (16 bytes, the largest).
union Value {
  gint32 integer;
  gfloat real;
  guint32 timeval[2];
  unsigned char bytes[16];
};

// Reads the listed keys straight from the status cache, demanding the
// documented size and type code of each (the cache refuses any other).
int read_raw(const char *group, const std::vector<Key> &keys, std::vector<Value> *values) {
  values->assign(keys.size(), Value{});
  std::vector<sc_entry> entries;
  for (size_t i = 0; i < keys.size(); i++)
    entries.push_back({keys[i].key.c_str(), keys[i].size, &(*values)[i], keys[i].type});
  std::vector<sc_entry *> list;
  for (auto &e : entries) list.push_back(&e);
  list.push_back(nullptr);
  return sc_get_group(group, list.data(), SC_GET_ALL);
}

struct GroupFree {
  void operator()(PTZStatusCacheGroup *group) const { ptz_status_cache_free_group(group); }
};
using GroupPtr = std::unique_ptr<PTZStatusCacheGroup, GroupFree>;

// A description with the given parameters added, each with its variable.
GroupPtr setup(PTZSCGroup type, guint32 index, guint32 capacity,
               std::initializer_list<std::pair<guint32, gpointer>> params = {}) {
  GroupPtr group(ptz_status_cache_setup_group(type, index, capacity));
  for (auto [param, data] : params) EXPECT_TRUE(ptz_status_cache_add_param(group.get(), param, data));
  return group;
}

class StatusCache : public ::testing::Test {
 protected:
  // Expects a refusal that logged `line` and nothing else (nothing at all
  // when `line` is empty).
  void refused(bool result, const std::string &line) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(result);
    EXPECT_EQ(log_.lines().size(), line.empty() ? 0u : 1u);
    EXPECT_EQ(log_.count(LOG_ERR, line), line.empty() ? 0u : 1u);
    log_.clear();
  }

  velmora::testing::DurnikIsolation isolation_;
  LogCapture log_;
};

TEST_F(StatusCache, UpdateCreatesGroupsWithEveryKeySizeAndTypeCode) {
  const struct {
    PTZSCGroup group;
    guint32 index;
    const char *name;
    gint64 size;
    const std::vector<Key> &keys;
  } cases[] = {{PTZ_SC_GROUP_POSITION, 3, "PTZ_POSITION_IS3", 1536, kPosition},
               {PTZ_SC_GROUP_VARIOUS, 12, "PTZ_VARIOUS_IS12", 228, kVarious},
               {PTZ_SC_GROUP_LIMIT, G_MAXUINT32, "PTZ_LIMIT_IS4294967295", 512, kLimit}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    GroupPtr group = setup(c.group, c.index, 60);
    std::vector<Value> written(c.keys.size()), read;
    for (size_t i = 0; i < c.keys.size(); i++) {
      memset(&written[i], int(i + 1), sizeof(Value));
      EXPECT_TRUE(ptz_status_cache_add_param(group.get(), c.keys[i].param, &written[i])) << c.keys[i].key;
    }
    ASSERT_TRUE(ptz_status_cache_update_group(group.get()));
    EXPECT_EQ(durnik_testing_group_size(c.name), c.size);
    ASSERT_EQ(read_raw(c.name, c.keys, &read), int(c.keys.size()));
    for (size_t i = 0; i < c.keys.size(); i++)
      EXPECT_EQ(memcmp(&read[i], &written[i], c.keys[i].size), 0) << c.keys[i].key;
  }
  EXPECT_TRUE(log_.lines().empty());
}

// A reader in another process, with other variables in another order, sees
// the publisher's latest values.
TEST_F(StatusCache, AnotherProcessFetchesTheValues) {
  gfloat pan = 12.5f;
  gint32 status = 1;
  velmora::testing::TimeValue16 idle{100, 200};
  GroupPtr writer = setup(PTZ_SC_GROUP_POSITION, 2, 10,
                          {{PTZ_SC_PARAM_POSITION_PAN, &pan},
                           {PTZ_SC_PARAM_POSITION_PAN_STATUS, &status},
                           {PTZ_SC_PARAM_POSITION_IRIS_STATUS_IDLE_TIME, &idle}});
  ASSERT_TRUE(ptz_status_cache_update_group(writer.get()));
  pan = -3.25f;
  status = 0;
  ASSERT_TRUE(ptz_status_cache_update_group(writer.get()));
  Child child([] {
    gfloat p = 0;
    gint32 s = -5;
    velmora::testing::TimeValue16 t;
    GroupPtr r = setup(PTZ_SC_GROUP_POSITION, 2, 5,
                       {{PTZ_SC_PARAM_POSITION_IRIS_STATUS_IDLE_TIME, &t},
                        {PTZ_SC_PARAM_POSITION_PAN, &p},
                        {PTZ_SC_PARAM_POSITION_PAN_STATUS, &s}});
    bool ok = ptz_status_cache_fetch_group(r.get()) && p == -3.25f && s == 0 && t.seconds == 100 &&
              t.nanoseconds == 200 && r->capacity == 3;  // the number of values read
    return ok ? 0 : 1;
  });
  EXPECT_EQ(child.wait(), 0);
  EXPECT_TRUE(log_.lines().empty());
}

// Each refusal returns FALSE (or no description) with its one log line, or
// none for the Preset group, and leaves the description as it was.
TEST_F(StatusCache, RefusalsAreLogged) {
  gint32 v = 0;
  refused(ptz_status_cache_setup_group(PTZSCGroup(4), 0, 5), "Could not setup status cache group. No such group 4!");
  refused(ptz_status_cache_setup_group(PTZ_SC_GROUP_POSITION, 0, G_MAXUINT32),
          "Could not setup status cache group 0. Capacity 4294967295 is too large!");
  refused(ptz_status_cache_add_param(nullptr, 12, &v), "Could not add parameter 12. No group setup!");
  refused(ptz_status_cache_update_group(nullptr), "Could not update status cache. No group setup!");
  refused(ptz_status_cache_fetch_group(nullptr), "Could not fetch status cache. No group setup!");
  refused(ptz_status_cache_create_group(PTZSCGroup(4), 0), "Could not create status cache group. No such group 4!");
  refused(ptz_status_cache_create_group(PTZ_SC_GROUP_PRESET, 0), "");
  EXPECT_EQ(durnik_testing_group_size("PTZ_PRESET_IS0"), -1);

  GroupPtr position = setup(PTZ_SC_GROUP_POSITION, 0, 2);
  refused(ptz_status_cache_add_param(position.get(), 47, &v),
          "Could not add parameter to group 0. No such parameter 47!");
  refused(ptz_status_cache_add_param(position.get(), G_MAXUINT32, &v),
          "Could not add parameter to group 0. No such parameter -1!");
  GroupPtr limit = setup(PTZ_SC_GROUP_LIMIT, 5, 2, {{PTZ_SC_PARAM_LIMIT_MAX_PAN, &v}});
  refused(ptz_status_cache_add_param(limit.get(), 58, &v), "Could not add parameter to group 3. No such parameter 58!");
  GroupPtr preset = setup(PTZ_SC_GROUP_PRESET, 0, 5);
  refused(ptz_status_cache_add_param(preset.get(), 47, &v), "");
  GroupPtr full = setup(PTZ_SC_GROUP_VARIOUS, 0, 1, {{58, &v}});  // 58 has a key here only
  refused(ptz_status_cache_add_param(full.get(), 49, &v),
          "Could not add parameter 49. No space left in group PTZ_VARIOUS_IS0!");
  // A capacity raised past the allocation never lets an add write beyond it.
  full->capacity = 1000;
  refused(ptz_status_cache_add_param(full.get(), 49, &v),
          "Could not add parameter 49. No space left in group PTZ_VARIOUS_IS0!");
  EXPECT_EQ((std::vector<gint32>{position->count, limit->count, preset->count, full->count}),
            (std::vector<gint32>{0, 1, 0, 1}));

  GroupPtr overfull = setup(PTZ_SC_GROUP_LIMIT, 6, 2, {{59, &v}, {60, &v}});
  overfull->capacity = 1;
  refused(ptz_status_cache_update_group(overfull.get()),
          "Could not update status cache. To many parameters in group PTZ_LIMIT_IS6!");
  refused(ptz_status_cache_fetch_group(overfull.get()),
          "Could not fetch status cache. To many parameters in group PTZ_LIMIT_IS6!");

  // A reader that comes before the publisher keeps its capacity and can try again.
  refused(ptz_status_cache_fetch_group(limit.get()),
          "Could not get status cache parameter group PTZ_LIMIT_IS5. No such file or directory!");
  EXPECT_EQ(limit->capacity, 2);
  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_LIMIT, 5));
  EXPECT_TRUE(ptz_status_cache_fetch_group(limit.get()));
  EXPECT_EQ(v, 180);

  // Another process made this group with PAN_DEG as an integer: the write is
  // refused, and the line tells why (not that the group exists).
  sc_entry foreign{"PAN_DEG", 4, &v, SC_TYPE_INT}, *foreign_list[] = {&foreign, nullptr};
  ASSERT_EQ(sc_create_group("PTZ_POSITION_IS6", 1536, 0), 0);
  ASSERT_EQ(sc_set_group("PTZ_POSITION_IS6", foreign_list, SC_SET_ADD), 1);
  GroupPtr clash = setup(PTZ_SC_GROUP_POSITION, 6, 1, {{PTZ_SC_PARAM_POSITION_PAN, &v}});
  refused(ptz_status_cache_update_group(clash.get()),
          "Could not set status cache parameter group PTZ_POSITION_IS6. Invalid argument!");
#ifdef VELMORA_PLATFORM_BUNDLED
  // A creation that fails for another reason than an existing group.
  GroupPtr unmade = setup(PTZ_SC_GROUP_VARIOUS, 9, 1, {{PTZ_SC_PARAM_VARIOUS_BACKLIGHT_COMPENSATION, &v}});
  durnik_testing_fail_call(DURNIK_TESTING_CREATE, 1, ENOSPC);
  refused(ptz_status_cache_update_group(unmade.get()),
          "Could not create status cache group PTZ_VARIOUS_IS9. No space left on device!");
  // The first write finds no group; the one after the creation fails.
  GroupPtr fresh = setup(PTZ_SC_GROUP_VARIOUS, 8, 1, {{PTZ_SC_PARAM_VARIOUS_BACKLIGHT_COMPENSATION, &v}});
  durnik_testing_fail_call(DURNIK_TESTING_SET, 2, EIO);
  refused(ptz_status_cache_update_group(fresh.get()),
          "Could not set status cache parameter group PTZ_VARIOUS_IS8. Input/output error!");
#endif
}

TEST_F(StatusCache, CreateWritesTheDefaults) {
  struct timespec before, after;
  clock_gettime(CLOCK_MONOTONIC, &before);
  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_POSITION, 0));
  clock_gettime(CLOCK_MONOTONIC, &after);
  std::vector<Value> v;
  ASSERT_EQ(read_raw("PTZ_POSITION_IS0", kPosition, &v), 47);
  // Whatever is not set here is zero: positions, fields of view, the times.
  std::vector<Value> expected(47, Value{});
  expected[6].real = 1.0f;
  for (guint32 p : {7, 12, 13, 14}) expected[p].integer = 1;
  for (guint32 p = 15; p <= 20; p++) expected[p].integer = PTZ_MOVE_STATUS_INVALID;
  expected[21].integer = 30;
  expected[22] = v[22];  // the current time, checked apart
  for (guint32 p = 0; p < 47; p++) EXPECT_EQ(memcmp(&v[p], &expected[p], kPosition[p].size), 0) << kPosition[p].key;
  EXPECT_GE(v[22].timeval[0], guint32(before.tv_sec));
  EXPECT_LE(v[22].timeval[0], guint32(after.tv_sec));
  EXPECT_LT(v[22].timeval[1], 1000000u);

  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_VARIOUS, 0));
  std::vector<Key> various(kVarious.begin(), kVarious.end() - 1);
  ASSERT_EQ(read_raw("PTZ_VARIOUS_IS0", various, &v), 9);
  for (size_t i = 0; i < various.size(); i++) EXPECT_EQ(v[i].integer, 0) << various[i].key;
  EXPECT_LT(read_raw("PTZ_VARIOUS_IS0", {kVarious.back()}, &v), 0);  // the overview mode is not created

  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_LIMIT, 1));
  ASSERT_EQ(read_raw("PTZ_LIMIT_IS1", kLimit, &v), 14);
  const gint32 limits[] = {-180, 180, -180, 180, 1, 19999, 1, 9999, 1, 9999, 1, 9999, 1, 9999};
  for (size_t i = 0; i < 14; i++) EXPECT_EQ(v[i].integer, limits[i]) << kLimit[i].key;
  EXPECT_TRUE(log_.lines().empty());
}

}  // namespace
