// The version macros and the run-time check agree with each other and with
// the rule: same major, minor and micro at least the required ones.
#include "ptz_version.h"
#include "velmora_test.h"

TEST(Version, RunTimeMatchesTheHeadersAndTheCheckFollowsTheRule) {
  EXPECT_EQ(ptz_get_major_version(), guint(PTZ_MAJOR_VERSION));
  EXPECT_EQ(ptz_get_minor_version(), guint(PTZ_MINOR_VERSION));
  EXPECT_EQ(ptz_get_micro_version(), guint(PTZ_MICRO_VERSION));
  EXPECT_EQ(std::string(PTZ_VERSION_STRING), std::to_string(PTZ_MAJOR_VERSION) + "." +
                                                 std::to_string(PTZ_MINOR_VERSION) + "." +
                                                 std::to_string(PTZ_MICRO_VERSION));
  // This round's interface (the log hook, the version itself) is 1.1.
  EXPECT_TRUE(PTZ_CHECK_VERSION(1, 1, 0));
  EXPECT_TRUE(PTZ_CHECK_VERSION(1, 0, 99));
  EXPECT_FALSE(PTZ_CHECK_VERSION(1, PTZ_MINOR_VERSION + 1, 0));
  EXPECT_FALSE(PTZ_CHECK_VERSION(1, PTZ_MINOR_VERSION, PTZ_MICRO_VERSION + 1));
  EXPECT_FALSE(PTZ_CHECK_VERSION(2, 0, 0));

  const guint major = PTZ_MAJOR_VERSION, minor = PTZ_MINOR_VERSION, micro = PTZ_MICRO_VERSION;
  EXPECT_EQ(ptz_check_version(major, minor, micro), nullptr);
  EXPECT_EQ(ptz_check_version(major, 0, 99), nullptr);
  EXPECT_STREQ(ptz_check_version(major, minor + 1, 0), "libvelmora_common version too old (minor mismatch)");
  EXPECT_STREQ(ptz_check_version(major, minor, micro + 1), "libvelmora_common version too old (micro mismatch)");
  EXPECT_STREQ(ptz_check_version(major + 1, 0, 0), "libvelmora_common version too old (major mismatch)");
  EXPECT_STREQ(ptz_check_version(major - 1, minor, micro), "libvelmora_common version too new (major mismatch)");
}
