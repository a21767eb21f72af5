// ptzctl param: reads and writes through the parameter service, on a private
// store of the service stand-in.
#include <gmock/gmock.h>
#include <stdlib.h>
#include <tamsel.h>

#include "ptzctl_run.h"
#include "velmora_test.h"

using ::testing::HasSubstr;
using velmora::testing::run_ptzctl;

class ParamTest : public velmora::testing::PtzctlTest {
 protected:
  void SetUp() override {
    PtzctlTest::SetUp();
    setenv("TAMSEL_STORE", dir_.file("params").c_str(), 1);
  }
  // Stores raw bytes, as another process of the device might.
  static void store(const std::string &path, const std::string &value) {
    TamselOptions options;
    cli_resetOptions(&options);
    options.mode = 9;
    gint err = -1;
    cli_setCustomParam(path.c_str(), value.c_str(), &options, &err);
    ASSERT_EQ(err, TAMSEL_OK);
  }
  velmora::testing::TempDir dir_;
};

TEST_F(ParamTest, SetThenGetAsTextIntegerAndBoolean) {
  auto set = run_ptzctl({"param", "set", "--mode", "12", "--opt-value", "5", "root.PTZ.Driver.D0.Name", "Dome 1"});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_TRUE(set.out.empty());
  auto get = run_ptzctl({"param", "get", "root.PTZ.Driver.D0.Name"});
  EXPECT_EQ(get.status, 0);
  EXPECT_EQ(get.out, "Dome 1\n");

  store("root.PTZ.Count", " -7 ");
  EXPECT_EQ(run_ptzctl({"param", "get", "--int", "root.PTZ.Count"}).out, "-7\n");
  store("root.PTZ.Flag", "yes");
  EXPECT_EQ(run_ptzctl({"param", "get", "--bool", "root.PTZ.Flag"}).out, "true\n");
  store("root.PTZ.Flag", "True");  // only "true" and "yes" are true
  EXPECT_EQ(run_ptzctl({"param", "get", "--bool", "root.PTZ.Flag"}).out, "false\n");
}

TEST_F(ParamTest, ValuesInLatin1ReadAndWriteAsUtf8) {
  store("root.PTZ.Vendor", "Caf\xE9");
  EXPECT_EQ(run_ptzctl({"param", "get", "root.PTZ.Vendor"}).out, "Caf\xC3\xA9\n");
  // A Latin-1 argument is stored as given and reads back converted: no false alarm.
  auto set = run_ptzctl({"param", "set", "root.PTZ.Vendor", "Cr\xE8me"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(run_ptzctl({"param", "get", "root.PTZ.Vendor"}).out, "Cr\xC3\xA8me\n");
}

TEST_F(ParamTest, MissingValuesAndRefusedWritesFail) {
  auto missing = run_ptzctl({"param", "get", "root.PTZ.Nothing"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("'root.PTZ.Nothing' has no value"));

  store("root.PTZ.Count", "42x");
  auto not_int = run_ptzctl({"param", "get", "--int", "root.PTZ.Count"});
  EXPECT_EQ(not_int.status, 1);
  EXPECT_THAT(not_int.err, HasSubstr("Value 42x of root.PTZ.Count invalid"));  // the library's line
  EXPECT_THAT(not_int.err, HasSubstr("has no value that reads as an integer"));

  // A store that cannot be written: the service refuses.
  setenv("TAMSEL_STORE", "/proc/ptzctl-no-such-dir/params", 1);
  auto refused = run_ptzctl({"param", "set", "root.PTZ.A", "1"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_THAT(refused.err, HasSubstr("the parameter service refused 'root.PTZ.A' (error 5)"));
}

TEST_F(ParamTest, BadCommandLinesAreUsageErrors) {
  std::string long_path(128, 'p');
  velmora::testing::expect_failures(2, {
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
}
