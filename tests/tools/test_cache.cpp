// ptzctl cache: typed groups decoded through the library's descriptions,
// groups holding only some of their keys, raw timing and counter groups,
// numbers that read back exactly, the listing, a watch that waits for its
// group and sees changes, JSON, and refusals of bad input. Status-cache groups are
// private to the test process (and its ptzctl children) by their prefix.
#include <gmock/gmock.h>
#include <stdlib.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "ptzctl_run.h"

#ifdef VELMORA_PLATFORM_BUNDLED

#include <ptz_status_cache.h>
#include <ptz_timing_log.h>

#include "durnik.h"
#include "tests/parameters/durnik_isolation.h"

using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using velmora::testing::JsonDoc;
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
  velmora::testing::expect_failures(
      1,
      {
          {{"cache", "dump", "position:7"}, "no status-cache group 'PTZ_POSITION_IS7'"},
          {{"cache", "watch", "nothing", "--wait", "0"}, "no status-cache group 'nothing'\n"},
          {{"cache", "watch", "nothing", "-i", "50", "--wait", "200"}, "no status-cache group 'nothing' within 200 ms"},
          {{"cache", "dump", "a/b"}, "cannot read status-cache group 'a/b': Invalid argument"},
      });
  velmora::testing::expect_failures(
      2, {
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
             {{"cache", "watch", "g", "--wait", "-1"}, "--wait wants a whole number from 0"},
             {{"cache", "list", "x"}, "too many arguments"},
             {{"cache", "peek", "g"}, "unknown subcommand 'peek'"},
         });
}

// Floats print as an operator expects them and read back as the very same
// float, whatever the locale says about decimal points.
TEST_F(CacheTest, FloatsPrintShortestAndReadBackExactly) {
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  const std::vector<std::pair<float, std::string>> fixed = {
      {10.0f, "10"},
      {0.5f, "0.5"},
      {-0.1f, "-0.1"},
      {100000.0f, "100000"},
      {-0.0f, "-0"},
      {1e-7f, "1e-07"},
      {123456792.0f, "123456790"},
      {FLT_MAX, "3.4028235e+38"},
      {NAN, "nan"},
      {-INFINITY, "-inf"},
      {123.456f, "123.456"},
      {3e20f, "3e+20"},
  };
  std::mt19937 random(42);
  std::vector<float> samples;
  for (int i = 0; i < 90; i++) {  // with the rest, within the 128 keys of a group
    guint32 bits = random();
    float value;
    memcpy(&value, &bits, sizeof value);
    if (std::isfinite(value)) samples.push_back(value);
  }
  for (int i = 0; i < 20; i++) samples.push_back(float(random() % 36000) / 100.0f - 180.0f);  // angles
  std::vector<float> values;
  for (const auto &f : fixed) values.push_back(f.first);
  values.insert(values.end(), samples.begin(), samples.end());

  ASSERT_EQ(sc_create_group("floats", 4096, SC_CREATE_EXCLUSIVE), 0);
  std::vector<std::string> keys;
  std::vector<sc_entry> entries;
  for (size_t i = 0; i < values.size(); i++) keys.push_back("f" + std::to_string(i));
  for (size_t i = 0; i < values.size(); i++) entries.push_back({keys[i].c_str(), 4, &values[i], SC_TYPE_FLOAT});
  std::vector<sc_entry *> list;
  for (auto &entry : entries) list.push_back(&entry);
  list.push_back(nullptr);
  ASSERT_EQ(sc_set_group("floats", list.data(), SC_SET_ADD), int(values.size()));

  std::vector<std::string> args = {"cache", "dump", "floats"};
  for (const auto &key : keys) args.insert(args.end(), {"--key", key + ":float"});
  std::string out = output_of(args);
  args.push_back("--json");
  JsonDoc json(output_of(args));
  for (size_t i = 0; i < values.size(); i++) {
    SCOPED_TRACE(keys[i]);
    size_t at = out.find("\n" + keys[i] + " = ");
    ASSERT_NE(at, std::string::npos);
    std::string text = out.substr(at + keys[i].size() + 4, out.find('\n', at + 1) - at - keys[i].size() - 4);
    if (i < fixed.size()) {
      EXPECT_EQ(text, fixed[i].second);
    }
    EXPECT_EQ(text.find_first_of(",E"), std::string::npos);
    if (std::isfinite(values[i])) {
      EXPECT_EQ(float(g_ascii_strtod(text.c_str(), nullptr)), values[i]);
      EXPECT_EQ(float(json_node_get_double(json.at("values/" + std::to_string(i) + "/value"))), values[i]);
      // No shorter text would do: one digit less no longer reads back.
      std::string digits = text.substr(0, text.find('e'));
      if (digits.find('.') != std::string::npos && digits.size() > 3) {
        std::string shorter = text;
        shorter.erase(digits.size() - 1, 1);
        EXPECT_NE(float(g_ascii_strtod(shorter.c_str(), nullptr)), values[i]) << shorter;
      }
    } else {
      EXPECT_EQ(json.string("values/" + std::to_string(i) + "/value"), text);  // not finite: a string
    }
  }
}

TEST_F(CacheTest, ListShowsEveryGroupSortedWithTheArgumentThatDumpsIt) {
  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_LIMIT, 10));
  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_POSITION, 2));
  ASSERT_EQ(sc_create_group("board", 64, SC_CREATE_EXCLUSIVE), 0);
  ASSERT_EQ(sc_create_group("PTZ_LIMIT_IS007", 64, SC_CREATE_EXCLUSIVE), 0);  // not how an index prints
  EXPECT_EQ(output_of({"cache", "list"}),
            "PTZ_LIMIT_IS007          64\n"
            "PTZ_LIMIT_IS10          512  limit:10\n"
            "PTZ_POSITION_IS2       1536  position:2\n"
            "board                    64\n");
  JsonDoc json(output_of({"cache", "list", "--json"}));
  ASSERT_EQ(json.length(""), 4u);
  EXPECT_EQ(json.text("1"), R"({"group":"PTZ_LIMIT_IS10","size":512,"kind":"limit","index":10})");
  EXPECT_EQ(json.text("3"), R"({"group":"board","size":64})");
  // What the list offers, dump takes.
  EXPECT_THAT(output_of({"cache", "dump", "limit:10"}), HasSubstr("MAX_ZOOM = 19999"));
  durnik_testing_remove_all();
  EXPECT_EQ(output_of({"cache", "list"}), "");
  EXPECT_EQ(output_of({"--json", "cache", "list"}), "[]\n");
}

// watch --json: one document per line, from waiting for the group to its
// changes, its removal and its return.
TEST_F(CacheTest, WatchWaitsForItsGroupAndWritesJsonLines) {
  int step = 0;
  auto run = run_ptzctl({"cache", "watch", "position:6", "-i", "20", "--json", "-k", "extra:int"}, false,
                        [&](const std::string &out) {
                          if (step == 0 && out.find("\"waiting\"") != std::string::npos) {
                            publish<float>(PTZ_SC_GROUP_POSITION, 6, {{PTZ_SC_PARAM_POSITION_PAN, 10.0f}});
                            step = 1;
                          } else if (step == 1 && out.find("\"snapshot\"") != std::string::npos) {
                            publish<float>(PTZ_SC_GROUP_POSITION, 6, {{PTZ_SC_PARAM_POSITION_PAN, 0.25f}});
                            step = 2;
                          } else if (step == 2 && out.find("\"change\"") != std::string::npos) {
                            durnik_testing_remove_group("PTZ_POSITION_IS6");
                            step = 3;
                          } else if (step == 3 && out.find("\"gone\"") != std::string::npos) {
                            publish<float>(PTZ_SC_GROUP_POSITION, 6, {{PTZ_SC_PARAM_POSITION_PAN, -1.5f}});
                            step = 4;
                          }
                          // Done once the last snapshot's line is whole: a line longer than a pipe
                          // write arrives in pieces.
                          return step == 4 && out.find("-1.5") != std::string::npos && out.back() == '\n';
                        });
  ASSERT_EQ(step, 4) << run.out << run.err;
  gchar **lines = g_strsplit(run.out.c_str(), "\n", -1);
  std::vector<std::string> events;
  for (gchar **line = lines; *line != nullptr && **line != '\0'; line++) {
    JsonDoc doc(*line);
    events.push_back(doc.string("event"));
    EXPECT_EQ(doc.string("group"), "PTZ_POSITION_IS6");
    EXPECT_EQ(doc.text("index"), "6");
    EXPECT_NE(doc.at("time"), nullptr);
    if (events.back() == "snapshot") {
      EXPECT_EQ(doc.length("values"), 48u);  // 47 keys of the group and the one asked for
      EXPECT_EQ(
          doc.text("values/0"),
          events.size() == 2
              ? R"({"key":"PAN_DEG","param":0,"nick":"position_pan","type":2,"size":4,"present":true,"value":10})"
              : R"({"key":"PAN_DEG","param":0,"nick":"position_pan","type":2,"size":4,"present":true,"value":-1.5})");
      EXPECT_EQ(doc.text("values/1/present"), "false");
      EXPECT_EQ(doc.text("values/47"), R"({"key":"extra","type":1,"size":4,"present":false})");
    } else if (events.back() == "change") {
      EXPECT_EQ(doc.text("values"),
                R"([{"key":"PAN_DEG","param":0,"nick":"position_pan","type":2,"size":4,"present":true,"value":0.25}])");
    }
  }
  g_strfreev(lines);
  EXPECT_EQ(events, (std::vector<std::string>{"waiting", "snapshot", "change", "gone", "snapshot"}));
}

TEST_F(CacheTest, DumpJsonCarriesTypesStatusesAndTimes) {
  ASSERT_TRUE(ptz_status_cache_create_group(PTZ_SC_GROUP_POSITION, 1));
  JsonDoc position(output_of({"cache", "dump", "position:1", "--json"}));
  EXPECT_EQ(position.string("kind"), "position");
  EXPECT_EQ(position.text("values/6/value"), "1");  // ZOOM_MAG, a float of 1.0
  EXPECT_EQ(position.text("values/15/status"), "\"invalid\"");
  EXPECT_THAT(position.text("values/22/value"), ContainsRegex(R"(^\{"seconds":[0-9]+,"microseconds":[0-9]+\}$)"));
  EXPECT_EQ(position.text("values/23/value"), R"({"seconds":0,"nanoseconds":0})");

  gint64 wide = -5;
  guint8 odd[3] = {1, 0xab, 0xff};
  sc_entry entries[] = {{"wide", 8, &wide, SC_TYPE_INT}, {"odd", 3, odd, 9}};
  sc_entry *list[] = {&entries[0], &entries[1], nullptr};
  ASSERT_EQ(sc_create_group("raw\"group", 64, SC_CREATE_EXCLUSIVE), 0);
  ASSERT_EQ(sc_set_group("raw\"group", list, SC_SET_ADD), 2);
  JsonDoc raw(output_of({"cache", "dump", "raw\"group", "-k", "wide:int64", "-k", "odd:int", "-j"}));
  EXPECT_EQ(raw.string("group"), "raw\"group");
  EXPECT_EQ(raw.at("kind"), nullptr);
  EXPECT_EQ(raw.text("values/0/value"), "-5");
  EXPECT_EQ(raw.text("values/1/error"), "\"(held with another size or type)\"");
}

#endif  // VELMORA_PLATFORM_BUNDLED
