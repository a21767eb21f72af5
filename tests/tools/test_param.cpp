// ptzctl param: reads and writes through the parameter service, on a private
// store of the service stand-in.
#include <gmock/gmock.h>
#include <stdlib.h>

#include "ptzctl_run.h"
#include "velmora_test.h"

using velmora::testing::expect_failures;
using velmora::testing::output_of;
using velmora::testing::run_ptzctl;

class ParamTest : public velmora::testing::PtzctlTest {
 protected:
  void SetUp() override {
    PtzctlTest::SetUp();
    setenv("TAMSEL_STORE", dir_.file("params").c_str(), 1);
  }
  velmora::testing::TempDir dir_;
};

TEST_F(ParamTest, WrittenValuesReadBackAsTextIntegerBooleanAndUtf8) {
  EXPECT_EQ(output_of({"param", "set", "--mode", "12", "--opt-value", "5", "root.PTZ.Driver.D0.Name", "Dome 1"}), "");
  EXPECT_EQ(output_of({"param", "get", "root.PTZ.Driver.D0.Name"}), "Dome 1\n");
  struct Case {
    const char *value, *get_option, *shown;
  } cases[] = {
      {" -7 ", "--int", "-7\n"},
      {"yes", "--bool", "true\n"},
      {"True", "--bool", "false\n"},  // only "true" and "yes" are true
      // A Latin-1 value is stored as given and reads back converted: no false alarm.
      {"Cr\xE8me", "--", "Cr\xC3\xA8me\n"},  // "--" only ends the options
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    output_of({"param", "set", "root.PTZ.Value", c.value});
    EXPECT_EQ(output_of({"param", "get", c.get_option, "root.PTZ.Value"}), c.shown);
  }
}

TEST_F(ParamTest, MissingValuesAndRefusedWritesFailAndBadCommandLinesAreUsageErrors) {
  output_of({"param", "set", "root.PTZ.Count", "42x"});
  std::vector<std::string> get_int = {"param", "get", "--int", "root.PTZ.Count"};
  expect_failures(1, {
                         {{"param", "get", "root.PTZ.Nothing"}, "'root.PTZ.Nothing' has no value"},
                         {get_int, "Value 42x of root.PTZ.Count invalid"},  // the library's line
                         {get_int, "has no value that reads as an integer"},
                     });
  std::string long_path(128, 'p');
  expect_failures(2, {
                         {{"param", "get", long_path}, "PATH is 128 characters long; at most 127"},
                         {{"param", "set", long_path, "v"}, "PATH is 128 characters long"},
                         {{"param", "get", ""}, "empty PATH"},
                         {{"param", "get", "--int", "--bool", "a.b"}, "exclude each other"},
                         {{"param", "set", "--mode", "13", "a.b", "v"}, "--mode wants a whole number from 9 to 12"},
                         {{"param", "set", "--opt-value", "99999999999", "a.b", "v"}, "--opt-value wants"},
                         {{"param", "set", "a.b"}, "PATH and VALUE are needed"},
                         {{"param", "set", "--mode"}, "option --mode needs a value"},
                         {{"param", "frob"}, "unknown subcommand 'frob'"},
                         {{"param"}, "no subcommand given"},
                     });
  // A path of 127 characters is fine.
  EXPECT_EQ(run_ptzctl({"param", "set", std::string(127, 'p'), "v"}).status, 0);

  // A store that cannot be written: the service refuses.
  setenv("TAMSEL_STORE", "/proc/ptzctl-no-such-dir/params", 1);
  expect_failures(1, {{{"param", "set", "root.PTZ.A", "1"}, "the parameter service refused 'root.PTZ.A' (error 5)"}});
}
