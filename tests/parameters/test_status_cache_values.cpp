// What the library tells about its status-cache keys, checked against what
// it publishes (the status cache refuses a read with another size or type),
// and reading values into a dictionary.
#include <syslog.h>

#include <cstring>
#include <string>

#include "durnik.h"
#include "ptz_status_cache.h"
#include "tests/parameters/durnik_isolation.h"
#include "velmora_test.h"

namespace {

using velmora::testing::LogCapture;

class StatusCacheInfo : public ::testing::Test {
 protected:
  velmora::testing::DurnikIsolation isolation_;
};

// Every parameter a group type holds is published under the key, type and
// size the library tells, and nothing else is accepted.
TEST_F(StatusCacheInfo, ParamInfoDescribesWhatIsPublished) {
  const struct {
    PTZSCGroup group;
    const char *name;
    int count;
  } groups[] = {{PTZ_SC_GROUP_POSITION, "PTZ_POSITION_IS7", 47},
                {PTZ_SC_GROUP_PRESET, "PTZ_PRESET_IS7", 0},
                {PTZ_SC_GROUP_VARIOUS, "PTZ_VARIOUS_IS7", 10},
                {PTZ_SC_GROUP_LIMIT, "PTZ_LIMIT_IS7", 14}};
  for (const auto &g : groups) {
    SCOPED_TRACE(g.name);
    int count = 0;
    for (guint32 param = 0; param < 100; param++) {
      const gchar *key = nullptr;
      PTZStatusCacheValueType type = PTZStatusCacheValueType(0);
      gsize size = 0;
      gboolean held = ptz_status_cache_param_info(g.group, param, &key, &type, &size);
      unsigned char value[16];
      memset(value, 0x5a, sizeof value);
      PTZStatusCacheGroup *description = ptz_status_cache_setup_group(g.group, 7, 1);
      EXPECT_EQ(ptz_status_cache_add_param(description, param, value), held) << param;
      if (held) {
        count++;
        ASSERT_TRUE(ptz_status_cache_update_group(description)) << key;
        unsigned char read[16] = {};
        sc_entry entry = {key, size, read, type};
        sc_entry *list[] = {&entry, nullptr};
        EXPECT_EQ(sc_get_group(g.name, list, SC_GET_ALL), 1) << key;
        EXPECT_EQ(memcmp(read, value, size), 0) << key;

        PTZSCGroup found_group = PTZSCGroup(-1);
        guint32 found_param = 0;
        PTZStatusCacheValueType found_type = PTZStatusCacheValueType(0);
        gsize found_size = 0;
        EXPECT_TRUE(ptz_status_cache_key_info(key, &found_group, &found_param, &found_type, &found_size));
        EXPECT_EQ(found_group, g.group);
        EXPECT_EQ(found_param, param);
        EXPECT_EQ(found_type, type);
        EXPECT_EQ(found_size, size);
      } else {
        EXPECT_EQ(key, nullptr);  // untouched
        EXPECT_EQ(size, 0u);
      }
      ptz_status_cache_free_group(description);
    }
    EXPECT_EQ(count, g.count);
  }
}

TEST_F(StatusCacheInfo, KnownKeysTypesAndSizes) {
  const struct {
    PTZSCGroup group;
    guint32 param;
    const char *key;
    PTZStatusCacheValueType type;
    gsize size;
  } cases[] = {
      {PTZ_SC_GROUP_POSITION, PTZ_SC_PARAM_POSITION_PAN, "PAN_DEG", PTZ_STATUS_CACHE_VALUE_FLOAT, 4},
      {PTZ_SC_GROUP_POSITION, PTZ_SC_PARAM_POSITION_PAN_STATUS, "PAN_STATUS", PTZ_STATUS_CACHE_VALUE_INT, 4},
      {PTZ_SC_GROUP_POSITION, PTZ_SC_PARAM_POSITION_TIME_VAL, "TIME_VAL", PTZ_STATUS_CACHE_VALUE_TIMEVAL, 8},
      {PTZ_SC_GROUP_POSITION, 29, "IRIS_STATUS_IDLE_TIME", PTZ_STATUS_CACHE_VALUE_TIMESPEC, 16},
      {PTZ_SC_GROUP_VARIOUS, 58, "OVERVIEW_MODE", PTZ_STATUS_CACHE_VALUE_INT, 4},
      {PTZ_SC_GROUP_LIMIT, PTZ_SC_PARAM_LIMIT_MAX_BRIGHTNESS, "MAX_BRIGHTNESS", PTZ_STATUS_CACHE_VALUE_INT, 4},
  };
  for (const auto &c : cases) {
    const gchar *key = nullptr;
    PTZStatusCacheValueType type;
    gsize size;
    ASSERT_TRUE(ptz_status_cache_param_info(c.group, c.param, &key, &type, &size)) << c.key;
    EXPECT_STREQ(key, c.key);
    EXPECT_EQ(type, c.type) << c.key;
    EXPECT_EQ(size, c.size) << c.key;
    EXPECT_TRUE(ptz_status_cache_param_info(c.group, c.param, nullptr, nullptr, nullptr));
  }
  LogCapture capture;
  EXPECT_FALSE(ptz_status_cache_param_info(PTZ_SC_GROUP_LIMIT, 58, nullptr, nullptr, nullptr));
  EXPECT_FALSE(ptz_status_cache_param_info(PTZSCGroup(9), 0, nullptr, nullptr, nullptr));
  EXPECT_FALSE(ptz_status_cache_key_info("preset_name", nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(ptz_status_cache_key_info("pan_deg", nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(ptz_status_cache_key_info(nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_TRUE(capture.lines().empty());
}

TEST_F(StatusCacheInfo, FetchValuesReadsEveryTypeByKey) {
  ptz_status_cache_create_group(PTZ_SC_GROUP_POSITION, 4);
  gfloat pan = 12.5f;
  gint64 idle[2] = {7, 500};
  PTZStatusCacheGroup *publisher = ptz_status_cache_setup_group(PTZ_SC_GROUP_POSITION, 4, 2);
  ASSERT_TRUE(ptz_status_cache_add_param(publisher, PTZ_SC_PARAM_POSITION_PAN, &pan));
  ASSERT_TRUE(ptz_status_cache_add_param(publisher, PTZ_SC_PARAM_POSITION_PAN_STATUS_IDLE_TIME, idle));
  ASSERT_TRUE(ptz_status_cache_update_group(publisher));
  ptz_status_cache_free_group(publisher);

  const guint32 params[] = {PTZ_SC_PARAM_POSITION_PAN, PTZ_SC_PARAM_POSITION_MZOOM, PTZ_SC_PARAM_POSITION_PAN_STATUS,
                            PTZ_SC_PARAM_POSITION_PAN_STATUS_IDLE_TIME, PTZ_SC_PARAM_POSITION_TIME_VAL};
  GVariant *values = ptz_status_cache_fetch_values(PTZ_SC_GROUP_POSITION, 4, params, G_N_ELEMENTS(params));
  ASSERT_NE(values, nullptr);
  EXPECT_FALSE(g_variant_is_floating(values));
  EXPECT_EQ(g_variant_n_children(values), G_N_ELEMENTS(params));
  gdouble real = 0;
  gint32 status = 0;
  gint64 seconds = 0, nanoseconds = 0;
  guint32 tv_seconds = 0, tv_microseconds = G_MAXUINT32;
  EXPECT_TRUE(g_variant_lookup(values, "PAN_DEG", "d", &real));
  EXPECT_EQ(real, 12.5);
  EXPECT_TRUE(g_variant_lookup(values, "ZOOM_MAG", "d", &real));
  EXPECT_EQ(real, 1.0);
  EXPECT_TRUE(g_variant_lookup(values, "PAN_STATUS", "i", &status));
  EXPECT_EQ(status, -1);
  EXPECT_TRUE(g_variant_lookup(values, "PAN_STATUS_IDLE_TIME", "(xx)", &seconds, &nanoseconds));
  EXPECT_EQ(seconds, 7);
  EXPECT_EQ(nanoseconds, 500);
  EXPECT_TRUE(g_variant_lookup(values, "TIME_VAL", "(uu)", &tv_seconds, &tv_microseconds));
  EXPECT_LT(tv_microseconds, 1000000u);
  g_variant_unref(values);
}

TEST_F(StatusCacheInfo, FetchValuesFailuresAreLogged) {
  LogCapture capture;
  const guint32 pan = PTZ_SC_PARAM_POSITION_PAN, name = PTZ_SC_PARAM_PRESET_NAME;
  EXPECT_EQ(ptz_status_cache_fetch_values(PTZ_SC_GROUP_POSITION, 9, &pan, 1), nullptr);
  EXPECT_EQ(capture.count_containing("Could not get status cache parameter group PTZ_POSITION_IS9."), 1u);
  EXPECT_EQ(ptz_status_cache_fetch_values(PTZ_SC_GROUP_POSITION, 9, &name, 1), nullptr);
  EXPECT_TRUE(capture.contains(LOG_ERR, "Could not add parameter to group 0. No such parameter 47!"));
  EXPECT_EQ(ptz_status_cache_fetch_values(PTZ_SC_GROUP_PRESET, 9, &name, 1), nullptr);
  EXPECT_TRUE(capture.contains(LOG_ERR, "Could not fetch status cache values. Group PTZ_PRESET_IS9 holds no values!"));
  EXPECT_EQ(ptz_status_cache_fetch_values(PTZ_SC_GROUP_POSITION, 9, &pan, 0), nullptr);
  EXPECT_TRUE(capture.contains(LOG_ERR, "Could not fetch status cache values. No parameters given!"));
  EXPECT_EQ(ptz_status_cache_fetch_values(PTZSCGroup(7), 9, &pan, 1), nullptr);
  EXPECT_TRUE(capture.contains(LOG_ERR, "Could not setup status cache group. No such group 7!"));
  EXPECT_EQ(capture.lines().size(), 5u);
}

}  // namespace
