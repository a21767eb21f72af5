// ptzctl config: key files and structured files loaded as a daemon loads
// them, and shown as the settings queries return them.
#include <gmock/gmock.h>

#include "ptzctl_run.h"
#include "velmora_test.h"

using ::testing::HasSubstr;
using ::testing::Not;
using velmora::testing::output_of;
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

  EXPECT_EQ(output_of({"config", base, local, "root.Driver1"}),
            "Name = Dome\tnorth\nPort = /dev/ttyS0\nRate = 12abc\n");
  EXPECT_EQ(output_of({"config", base, local, "PTZDriverManager", "NbrOfDrivers"}), "2\n");
  EXPECT_EQ(output_of({"config", base, "ROOT.Driver1", "Rate", "--typed"}),
            "string: 12abc\nboolean: false\nint64: 12\nint: 12\n");
  std::string all = output_of({"config", base, local});
  EXPECT_THAT(all, HasSubstr("[Driver1]\nName = Dome\tnorth\n"));
  EXPECT_THAT(all, HasSubstr("[PTZDriverManager]\nNbrOfDrivers = 2\n"));
}

TEST_F(ConfigTest, StructuredFilesAndKeyFilesTogether) {
  std::string cfg = dir_.write("driver.cfg",
                               "PTZ {\n  Driver1 {\n    Name = \"Parsed\"\n    Vendor = \"Caf\\xE9\"\n"
                               "    Verbose\n  }\n}\n");
  std::string conf = dir_.write("driver.conf", "[PTZ.Driver1]\nName=KeyFile\n");
  // The key files are asked first; a group they hold hides the parsed one.
  EXPECT_EQ(output_of({"config", "--parsed", cfg, "--key-file", conf, "PTZ.Driver1"}), "Name = KeyFile\n");
  EXPECT_EQ(output_of({"config", "--parsed", cfg, "PTZ.Driver1"}), "Name = Parsed\nVendor = Caf\xC3\xA9\nVerbose = \n");
  auto listing = run_ptzctl({"config", "--parsed", cfg});
  EXPECT_EQ(listing.status, 0);
  EXPECT_THAT(listing.err, HasSubstr("cannot be listed; name a GROUP"));
}

TEST_F(ConfigTest, FilesGroupsAndKeysThatAreNotThereFailAndBadCommandLinesAreUsageErrors) {
  std::string conf = dir_.write("a.conf", "[A]\nb=c\nempty=\n");
  std::string broken_conf = dir_.write("broken.conf", "[Group\nkey=value\n");
  std::string broken_cfg = dir_.write("broken.cfg", "PTZ {\n  Name = \"open\n}\n");
  velmora::testing::expect_failures(
      1, {
             {{"config", dir_.file("missing.conf"), "A"}, "cannot read '"},
             {{"config", dir_.path(), "A"}, "is a directory"},
             {{"config", broken_conf, "Group"}, "could not load settings"},  // the library's line
             // The parser's own reason (file, line) goes to the system log only.
             {{"config", "--parsed", broken_cfg, "PTZ"}, "could not open file '" + broken_cfg + "': Invalid argument"},
             {{"config", conf, "typo.conf"}, "no group 'typo.conf' in the loaded files (and no file of that name)"},
             {{"config", conf, "A", "x"}, "group 'A' has no readable value for 'x'"},
             // A group named like an existing file, after "--".
             {{"config", conf, "--", conf}, conf + "' in the loaded files\n"},
             // "Root." is not a prefix the queries drop.
             {{"config", conf, "Root.A"}, "no group 'Root.A'"},
         });
  velmora::testing::expect_failures(2, {
                                           {{"config"}, "no FILE given"},
                                           {{"config", "Group"}, "no FILE given ('Group' is not a file)"},
                                           {{"config", conf, "A", "b", "c"}, "too many arguments"},
                                           {{"config", conf, "A", "--typed"}, "--typed needs a KEY"},
                                           {{"config", conf, "A", "--parsed", "b"}, "--parsed after GROUP"},
                                       });
}

// The library's lines reach stderr through the tool's log handler, which
// -q silences (the tool's own summary stays).
TEST_F(ConfigTest, QuietHidesTheLibrarysLines) {
  std::string broken_conf = dir_.write("broken.conf", "[Group\nkey=value\n");
  auto shown = run_ptzctl({"config", broken_conf, "Group"});
  auto quiet = run_ptzctl({"-q", "config", broken_conf, "Group"});
  EXPECT_EQ(shown.status, 1);
  EXPECT_EQ(quiet.status, 1);
  EXPECT_THAT(shown.err, HasSubstr("ptzctl: could not load settings"));
  EXPECT_THAT(quiet.err, Not(HasSubstr("could not load settings")));
  EXPECT_FALSE(quiet.err.empty());
}
