// Indexed group names: the base name followed by the index in decimal, for
// indices of every width and for base names of any length.

#include <string>

#include "ptz_settings.h"
#include "velmora_test.h"

namespace {

TEST(IndexedGroupNames, ComposeBaseAndDecimalIndex) {
  velmora::testing::TempDir dir;
  const std::string long_base(200, 'L');
  const std::pair<std::string, gint> groups[] = {{"Channel", 0},   {"Channel", 7},        {"Channel", 10},
                                                 {"Channel", 305}, {"Channel", G_MAXINT}, {long_base, 42}};
  std::string text;
  for (const auto &[base, index] : groups)
    text += "[" + base + std::to_string(index) + "]\nN=" + std::to_string(index) + "\n";
  std::string file = dir.write("names.conf", text);
  PTZSettingsFile files[] = {{file.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_gkf(files, nullptr));

  for (const auto &[base, index] : groups) {
    gint value = -1;
    EXPECT_TRUE(ptz_settings_get_int(base.c_str(), index, "N", &value)) << index;
    EXPECT_EQ(value, index);
    EXPECT_TRUE(ptz_settings_has_group(base.c_str(), index)) << index;
  }
  // Digits are not reordered or dropped: Channel1 and Channel50 do not exist.
  EXPECT_FALSE(ptz_settings_has_group("Channel", 1));
  EXPECT_FALSE(ptz_settings_has_group("Channel", 50));
}

}  // namespace
