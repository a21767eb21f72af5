// ptzctl vocab: listings in registration order, look-ups by number, nick and
// name, flags split into bits, and refusals of bad input.
#include <gmock/gmock.h>

#include "ptzctl_run.h"

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using velmora::testing::lines_of;
using velmora::testing::run_ptzctl;

class VocabTest : public velmora::testing::PtzctlTest {};

TEST_F(VocabTest, ListsEveryTypeAndEachTypesRowsInRegistrationOrder) {
  auto all = run_ptzctl({"vocab"});
  ASSERT_EQ(all.status, 0) << all.err;
  auto types = lines_of(all.out);
  ASSERT_EQ(types.size(), 27u);
  EXPECT_THAT(types.front(), MatchesRegex("PTZCommand +enum +32"));
  EXPECT_THAT(all.out, HasSubstr("PTZDriverExtraCapabilities"));
  EXPECT_THAT(all.out, MatchesRegex("(.|\n)*PTZSCParam +enum +72\n(.|\n)*"));

  auto rows = lines_of(run_ptzctl({"vocab", "PTZMoveCmd"}).out);
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_THAT(rows[0], MatchesRegex(" +8 +Home +home"));  // registered before 0
  EXPECT_THAT(rows[1], MatchesRegex(" +0 +Up +up"));

  auto flags = lines_of(run_ptzctl({"vocab", "driverMoveCapabilities"}).out);
  ASSERT_EQ(flags.size(), 31u);
  EXPECT_THAT(flags[26], MatchesRegex("0x20000000 +Locked +locked"));
}

TEST_F(VocabTest, LooksValuesUpByNumberNickAndName) {
  struct Case {
    std::vector<std::string> args;
    const char *row;
  } cases[] = {
      {{"vocab", "PTZCommand", "25"}, " +25 +Get driver property +set driver property"},
      {{"vocab", "command", "-1"}, " +-1 +Error reply +error reply"},
      {{"vocab", "PTZSCParam", "31"}, " +31 +Position focus status idle time +position_focus_status_idle_time"},
      {{"vocab", "ptzscparam", "position focus"}, " +13 .*"},
      {{"vocab", "PTZPortMode", "RS485_2_wire"}, " +1 +RS485 +RS485_2_wire"},
      {{"vocab", "PTZPortMode", "coax"}, " +5 +COAX +Coaxitron"},  // a name, in another case
      {{"vocab", "PTZDriverExtraCapabilities", "0x40000"}, "0x00040000 +DeviceType +devicetype"},
  };
  for (const auto &c : cases) {
    auto run = run_ptzctl(c.args);
    EXPECT_EQ(run.status, 0) << c.args[2] << ": " << run.err;
    EXPECT_THAT(run.out, MatchesRegex(std::string(c.row) + "\n")) << c.args[2];
  }
}

TEST_F(VocabTest, SplitsAFlagsWordIntoItsRowsAndNamesBitsWithoutOne) {
  auto named = run_ptzctl({"vocab", "PTZDriverMoveCapabilities", "0x80000003"});
  EXPECT_EQ(named.status, 0);
  auto lines = lines_of(named.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_THAT(lines[0], HasSubstr("Pan"));
  EXPECT_THAT(lines[1], HasSubstr("RelPan"));
  EXPECT_THAT(lines[2], HasSubstr("ZoomMag"));  // bit 31 counts here

  auto unnamed = run_ptzctl({"vocab", "PTZDriverMoveCapabilities", "0x18000001"});
  EXPECT_EQ(unnamed.status, 1);
  EXPECT_THAT(unnamed.out, HasSubstr("0x18000000  (bits without a row"));
}

TEST_F(VocabTest, MissingValuesFailAndBadArgumentsAreUsageErrors) {
  auto gap = run_ptzctl({"vocab", "PTZSCParam", "58"});
  EXPECT_EQ(gap.status, 1);
  EXPECT_THAT(gap.err, HasSubstr("PTZSCParam has no value 58"));
  EXPECT_EQ(run_ptzctl({"vocab", "PTZCommand", "no such nick"}).status, 1);

  velmora::testing::expect_failures(2, {
      {{"vocab", "PTZNothing"}, "unknown type 'PTZNothing'"},
      {{"vocab", "PTZCommand", "99999999999"}, "is not a 32-bit number"},
      {{"vocab", "PTZCommand", "12abc"}, "is not a 32-bit number"},
      {{"vocab", "PTZDriverMoveCapabilities", "-1"}, "is not a 32-bit unsigned number"},
      {{"vocab", "PTZCommand", "1", "2"}, "too many arguments"},
      {{"vocab", "--frobnicate"}, "unknown option '--frobnicate'"},
  });
}

TEST_F(VocabTest, HelpAndTopLevelUsage) {
  auto help = run_ptzctl({"vocab", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("Usage: ptzctl vocab"));
  auto global = run_ptzctl({"--help"});
  EXPECT_EQ(global.status, 0);
  EXPECT_THAT(global.out, HasSubstr("cache watch GROUP"));
  EXPECT_EQ(run_ptzctl({}).status, 2);
  EXPECT_EQ(run_ptzctl({"frob"}).status, 2);
  EXPECT_EQ(run_ptzctl({"--bogus", "vocab"}).status, 2);
}
