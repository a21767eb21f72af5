// ptzctl config: key files and structured files loaded as a daemon loads
// them, and shown as the settings queries return them.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include "ptzctl_run.h"
#include "velmora_test.h"

using ::testing::HasSubstr;
using velmora::testing::run_ptzctl;

class ConfigTest : public velmora::testing::PtzctlTest {
 protected:
  velmora::testing::TempDir dir_;
};

TEST_F(ConfigTest, KeyFilesReadAsOneDocumentWithTheLaterValueWinning) {
  std::string base = dir_.write("10-base.conf",
                                "[Driver1]\nName=\"Dome\\tnorth\"\nPort=/dev/ttyS0\nRate=12abc\n"
                                "[PTZDriverManager]\nNbrOfDrivers=1\n");
  std::string local = dir_.write("20-local.conf", "[PTZDriverManager]\nNbrOfDrivers=2\n");

  auto group = run_ptzctl({"config", base, local, "root.Driver1"});
  ASSERT_EQ(group.status, 0) << group.err;
  EXPECT_EQ(group.out, "Name = Dome\tnorth\nPort = /dev/ttyS0\nRate = 12abc\n");
  EXPECT_EQ(run_ptzctl({"config", base, local, "PTZDriverManager", "NbrOfDrivers"}).out, "2\n");

  auto typed = run_ptzctl({"config", base, "Driver1", "Rate", "--typed"});
  EXPECT_EQ(typed.out, "string: 12abc\nboolean: false\nint64: 12\nint: 12\n");

  auto all = run_ptzctl({"config", base, local});
  EXPECT_EQ(all.status, 0);
  EXPECT_THAT(all.out, HasSubstr("[Driver1]\nName = Dome\tnorth\n"));
  EXPECT_THAT(all.out, HasSubstr("[PTZDriverManager]\nNbrOfDrivers = 2\n"));
}

TEST_F(ConfigTest, StructuredFilesAndKeyFilesTogether) {
  std::string cfg = dir_.write("driver.cfg",
                               "PTZ {\n  Driver1 {\n    Name = \"Parsed\"\n    Vendor = \"Caf\\xE9\"\n"
                               "    Verbose\n  }\n}\n");
  std::string conf = dir_.write("driver.conf", "[PTZ.Driver1]\nName=KeyFile\n");
  // The key files are asked first; a group they hold hides the parsed one.
  auto both = run_ptzctl({"config", "--parsed", cfg, "--key-file", conf, "PTZ.Driver1"});
  ASSERT_EQ(both.status, 0) << both.err;
  EXPECT_EQ(both.out, "Name = KeyFile\n");

  auto parsed = run_ptzctl({"config", "--parsed", cfg, "PTZ.Driver1"});
  EXPECT_EQ(parsed.out, "Name = Parsed\nVendor = Caf\xC3\xA9\nVerbose = \n");
  auto listing = run_ptzctl({"config", "--parsed", cfg});
  EXPECT_EQ(listing.status, 0);
  EXPECT_THAT(listing.err, HasSubstr("cannot be listed; name a GROUP"));
}

TEST_F(ConfigTest, FilesThatDoNotLoadFailWithTheReason) {
  std::string broken_conf = dir_.write("broken.conf", "[Group\nkey=value\n");
  std::string broken_cfg = dir_.write("broken.cfg", "PTZ {\n  Name = \"open\n}\n");
  std::string secret = dir_.write("secret.conf", "[A]\nb=c\n");
  chmod(secret.c_str(), 0);
  velmora::testing::expect_failures(1, {
      {{"config", dir_.file("missing.conf"), "A"}, "cannot read '"},
      {{"config", dir_.path(), "A"}, "is a directory"},
      {{"config", broken_conf, "Group"}, "could not load settings"},  // the library's line
      {{"config", "--parsed", broken_cfg, "PTZ"}, "broken.cfg:2: unterminated quoted value"},
  });
  if (geteuid() != 0) {
    EXPECT_EQ(run_ptzctl({"config", secret, "A"}).status, 1);
  }
}

TEST_F(ConfigTest, MissingGroupsAndKeysFailAndBadCommandLinesAreUsageErrors) {
  std::string conf = dir_.write("a.conf", "[A]\nb=c\nempty=\n");
  auto no_group = run_ptzctl({"config", conf, "typo.conf"});
  EXPECT_EQ(no_group.status, 1);
  EXPECT_THAT(no_group.err, HasSubstr("no group 'typo.conf' in the loaded files (and no file of that name)"));
  EXPECT_EQ(run_ptzctl({"config", conf, "A", "x"}).status, 1);
  // A group named like an existing file, after "--".
  EXPECT_EQ(run_ptzctl({"config", conf, "--", conf}).status, 1);
  // "Root." is not a prefix the queries drop.
  EXPECT_EQ(run_ptzctl({"config", conf, "Root.A"}).status, 1);
  EXPECT_EQ(run_ptzctl({"config", conf, "ROOT.A", "b"}).out, "c\n");

  velmora::testing::expect_failures(2, {
      {{"config"}, "no FILE given"},
      {{"config", "Group"}, "no FILE given ('Group' is not a file)"},
      {{"config", conf, "A", "b", "c"}, "too many arguments"},
      {{"config", conf, "A", "--typed"}, "--typed needs a KEY"},
      {{"config", conf, "A", "--parsed", "b"}, "--parsed after GROUP"},
  });
}
