// ptzctl vocab: listings in registration order, look-ups by number, nick and
// name, flags split into bits, and refusals of bad input.
#include <gmock/gmock.h>

#include <algorithm>

#include "ptzctl_run.h"

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using velmora::testing::output_of;
using velmora::testing::run_ptzctl;

class VocabTest : public velmora::testing::PtzctlTest {};

static size_t line_count(const std::string &text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

TEST_F(VocabTest, ListsEveryTypeAndEachTypesRowsInRegistrationOrder) {
  std::string all = output_of({"vocab"});
  EXPECT_EQ(line_count(all), 27u);
  EXPECT_THAT(all, MatchesRegex("PTZCommand +enum +32\n(.|\n)*\nPTZSCParam +enum +72\n(.|\n)*"));
  std::string rows = output_of({"vocab", "PTZMoveCmd"});
  EXPECT_EQ(line_count(rows), 10u);
  EXPECT_THAT(rows, MatchesRegex(" +8 +Home +home\n +0 +Up +up\n(.|\n)*"));  // registered before 0
}

TEST_F(VocabTest, LooksValuesUpByNumberNickAndNameAndSplitsFlagsWords) {
  struct Case {
    std::vector<std::string> args;
    const char *rows;
  } cases[] = {
      {{"vocab", "PTZCommand", "25"}, " +25 +Get driver property +set driver property"},
      {{"vocab", "command", "-1"}, " +-1 +Error reply +error reply"},
      {{"vocab", "PTZSCParam", "31"}, " +31 +Position focus status idle time +position_focus_status_idle_time"},
      {{"vocab", "ptzscparam", "position focus"}, " +13 .*"},
      {{"vocab", "PTZPortMode", "RS485_2_wire"}, " +1 +RS485 +RS485_2_wire"},
      {{"vocab", "PTZPortMode", "coax"}, " +5 +COAX +Coaxitron"},  // a name, in another case
      {{"vocab", "PTZDriverExtraCapabilities", "0x40000"}, "0x00040000 +DeviceType +devicetype"},
      // No row names the word: one per bit, bit 31 included.
      {{"vocab", "PTZDriverMoveCapabilities", "0x80000003"},
       "0x00000001 +Pan +pan\n0x00000002 +RelPan +relpan\n0x80000000 +ZoomMag +zoommag"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.args[2]);
    EXPECT_THAT(output_of(c.args), MatchesRegex(std::string(c.rows) + "\n"));
  }

  auto unnamed = run_ptzctl({"vocab", "PTZDriverMoveCapabilities", "0x18000001"});
  EXPECT_EQ(unnamed.status, 1);
  EXPECT_THAT(unnamed.out, HasSubstr("0x18000000  (bits without a row"));
}

TEST_F(VocabTest, MissingValuesFailAndBadCommandLinesAreUsageErrors) {
  velmora::testing::expect_failures(
      1, {
             {{"vocab", "PTZSCParam", "58"}, "PTZSCParam has no value 58"},
             {{"vocab", "PTZCommand", "no such nick"}, "has no value with the nick or name 'no such nick'"},
         });
  velmora::testing::expect_failures(
      2, {
             {{"vocab", "PTZNothing"}, "unknown type 'PTZNothing'"},
             {{"vocab", "PTZCommand", "99999999999"}, "is not a 32-bit number"},
             {{"vocab", "PTZDriverMoveCapabilities", "-1"}, "is not a 32-bit unsigned number"},
             {{"vocab", "PTZCommand", "1", "2"}, "too many arguments"},
             {{"vocab", "--frobnicate"}, "unknown option '--frobnicate'"},
             {{}, "no command given"},
             {{"frob"}, "unknown command 'frob'"},
             {{"--bogus", "vocab"}, "unknown option '--bogus'"},
         });
  EXPECT_THAT(output_of({"vocab", "--help"}), HasSubstr("Usage: ptzctl vocab"));
  EXPECT_THAT(output_of({"--help"}), HasSubstr("cache watch GROUP"));
}
