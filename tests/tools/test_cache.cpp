// ptzctl cache: typed groups decoded through the library's descriptions,
// groups holding only some of their keys, raw timing and counter groups, a
// watch that sees changes, and refusals of bad input. Status-cache groups are
// private to the test process (and its ptzctl children) by their prefix.
#include <gmock/gmock.h>
#include <unistd.h>

#include "ptzctl_run.h"

#ifdef VELMORA_PLATFORM_BUNDLED

#include <ptz_status_cache.h>
#include <ptz_timing_log.h>

#include "durnik.h"
#include "tests/parameters/durnik_isolation.h"

using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using velmora::testing::output_of;
using velmora::testing::run_ptzctl;

class CacheTest : public velmora::testing::PtzctlTest {
 protected:
  // Publishes values of one group, as a driver does.
  template <typename T>
  static void publish(PTZSCGroup group, guint32 index, std::vector<std::pair<guint32, T>> values) {
    PTZStatusCacheGroup *description = ptz_status_cache_setup_group(group, index, guint32(values.size()));
    for (auto &value : values) ASSERT_TRUE(ptz_status_cache_add_param(description, value.first, &value.second));
    ASSERT_TRUE(ptz_status_cache_update_group(description));
    ptz_status_cache_free_group(description);
  }
  velmora::testing::DurnikIsolation isolation_;
};

TEST_F(CacheTest, DumpsTypedGroupsDecodedByTypeWithAbsentKeysShown) {
  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_POSITION, 2));
  publish<float>(PTZ_SC_GROUP_POSITION, 2, {{PTZ_SC_PARAM_POSITION_PAN, 12.5f}, {PTZ_SC_PARAM_POSITION_TILT, -0.1f}});
  publish<gint32>(PTZ_SC_GROUP_POSITION, 2, {{PTZ_SC_PARAM_POSITION_PAN_STATUS, 1}});
  std::string position = output_of({"cache", "dump", "position:2"});
  for (const char *line : {"PTZ_POSITION_IS2 (position, index 2)\n", "\nPAN_DEG = 12.5 [position_pan]\n",
                           "\nTILT_DEG = -0.1 [position_tilt]\n", "\nPAN_STATUS = 1 (moving) [position_pan_status]\n",
                           "\nGM_BRIGHT_STATUS_MOVING_TIME = 0.000000000 s [position_gm_bright_status_moving_time]\n"})
    EXPECT_THAT(position, HasSubstr(line));
  EXPECT_THAT(position, ContainsRegex("\nTIME_VAL = [0-9]+\\.[0-9]{6} s \\[position_time_val\\]\n"));
  EXPECT_THAT(position, Not(HasSubstr("absent")));
  EXPECT_EQ(output_of({"cache", "dump", "PTZ_POSITION_IS2"}), position);  // the cache name says the same

  // A group holding only some of its keys.
  publish<gint32>(PTZ_SC_GROUP_VARIOUS, 1, {{PTZ_SC_PARAM_VARIOUS_PAN_FLIPPED, 1}, {58, 3}});
  std::string various = output_of({"cache", "dump", "various:1"});
  EXPECT_THAT(various, HasSubstr("\nPAN_FLIPPED = 1 [various_pan_flipped]\n"
                                 "TILT_FLIPPED absent [various_tilt_flipped]\n"));
  EXPECT_THAT(various, HasSubstr("\nOVERVIEW_MODE = 3\n"));  // 58 has no nick

  // A preset group has no values of its own to show.
  sc_entry *none[] = {nullptr};
  ASSERT_EQ(sc_create_group("PTZ_PRESET_IS0", 64, SC_CREATE_EXCLUSIVE), 0);
  ASSERT_GE(sc_set_group("PTZ_PRESET_IS0", none, SC_SET_ADD), 0);
  EXPECT_EQ(output_of({"cache", "dump", "preset:0"}),
            "PTZ_PRESET_IS0 (preset, index 0)\n(no values are defined for preset groups)\n");
}

TEST_F(CacheTest, RawGroupsShowTimingAndCounterKeysAndNamedKeys) {
  log_time_reset("ptzdt_test_timer");
  log_time_start("ptzdt_test_timer");
  std::string timer = output_of({"cache", "dump", "ptzdt_test_timer"});
  EXPECT_THAT(timer, ContainsRegex("start_time = [0-9]+\\.[0-9]{9} s\n"));
  EXPECT_THAT(timer, HasSubstr("\nstart_pid = " + std::to_string(getpid() & 0xffff) + "\n"));
  log_counter_reset(1, "ptzct_test");
  EXPECT_EQ(output_of({"cache", "dump", "ptzct_test1"}),
            "ptzct_test1\ncounter_value = 0\ncounter_pid = " + std::to_string(getpid()) + "\n");

  float temperature = 41.5f;
  sc_entry entry = {"temperature", 4, &temperature, 2};
  sc_entry *entries[] = {&entry, nullptr};
  ASSERT_EQ(sc_create_group("board", 64, SC_CREATE_EXCLUSIVE), 0);
  ASSERT_EQ(sc_set_group("board", entries, SC_SET_ADD), 1);
  EXPECT_THAT(output_of({"cache", "dump", "board"}), HasSubstr("(none of the timing or counter keys"));
  EXPECT_EQ(output_of({"cache", "dump", "board", "--key", "temperature:float", "--key", "fan:int"}),
            "board\ntemperature = 41.5\nfan absent\n");
  EXPECT_THAT(output_of({"cache", "dump", "board", "-k", "temperature:timeval"}),
              HasSubstr("temperature = (held with another size or type)"));
}

TEST_F(CacheTest, WatchPrintsChangesAndTheGroupComingAndGoing) {
  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_LIMIT, 4));
  int step = 0;
  auto run = run_ptzctl({"cache", "watch", "limit:4", "--interval", "20"}, false, [&](const std::string &out) {
    if (step == 0 && out.find("MAX_BRIGHTNESS") != std::string::npos) {
      publish<gint32>(PTZ_SC_GROUP_LIMIT, 4, {{PTZ_SC_PARAM_LIMIT_MAX_PAN, 90}});
      step = 1;
    } else if (step == 1 && out.find("MAX_PAN = 90") != std::string::npos) {
      durnik_testing_remove_group("PTZ_LIMIT_IS4");
      step = 2;
    } else if (step == 2 && out.find("is gone") != std::string::npos) {
      publish<gint32>(PTZ_SC_GROUP_LIMIT, 4, {{PTZ_SC_PARAM_LIMIT_MIN_PAN, -5}});
      step = 3;
    }
    return step == 3 && out.find("MIN_PAN = -5") != std::string::npos;
  });
  EXPECT_EQ(step, 3) << run.out << run.err;
  EXPECT_THAT(run.out, ContainsRegex("\n\\+[0-9]+\\.[0-9]{3}s MAX_PAN = 90 \\[limit_max_pan\\]\n"));
  EXPECT_THAT(run.out, ContainsRegex("\n\\+[0-9.]+s group PTZ_LIMIT_IS4 is gone\n"));
  // Back with only the one key: printed whole, the rest absent.
  EXPECT_THAT(run.out, ContainsRegex("\n\\+[0-9.]+s PTZ_LIMIT_IS4 \\(limit, index 4\\)\n"
                                     "\\+[0-9.]+s MIN_PAN = -5 \\[limit_min_pan\\]\n"
                                     "\\+[0-9.]+s MAX_PAN absent"));

  EXPECT_THAT(output_of({"cache", "watch", "limit:4", "-i", "1", "-n", "3"}), HasSubstr("MIN_PAN = -5"));
}

TEST_F(CacheTest, MissingGroupsFailAndBadArgumentsAreUsageErrors) {
  velmora::testing::expect_failures(1, {
      {{"cache", "dump", "position:7"}, "no status-cache group 'PTZ_POSITION_IS7'"},
      {{"cache", "watch", "nothing", "-n", "2"}, "no status-cache group 'nothing'"},
      {{"cache", "dump", "a/b"}, "cannot read status-cache group 'a/b': Invalid argument"},
  });
  velmora::testing::expect_failures(2, {
      {{"cache", "dump", "position:x"}, "'x' is not a driver index"},
      {{"cache", "dump", "limit:4294967296"}, "is not a driver index"},
      {{"cache", "dump", "position:-1"}, "is not a driver index"},
      {{"cache", "dump", "g", "--key", "k"}, "--key wants KEY:KIND"},
      {{"cache", "dump", "g", "--key", "k:double"}, "--key wants KEY:KIND"},
      {{"cache", "dump", "g", "--key", std::string(64, 'k') + ":int"}, "--key wants KEY:KIND"},
      {{"cache", "dump"}, "no GROUP given"},
      {{"cache", "dump", "a", "b"}, "too many arguments"},
      {{"cache", "watch", "g", "--interval", "0"}, "--interval wants a whole number from 1 to 86400000"},
      {{"cache", "watch", "g", "--count", "1e9"}, "--count wants"},
      {{"cache", "peek", "g"}, "unknown subcommand 'peek'"},
  });
}

#endif  // VELMORA_PLATFORM_BUNDLED
