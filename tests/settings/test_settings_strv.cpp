// The loaders with plain path arrays: the same stores as the list forms,
// later files winning, and the required flag applied to every path.
#include "settings_test.h"

namespace {

using namespace velmora::testing;

std::string value(const char *group, const char *key) { return take(ptz_settings_get_custom_string(group, key)); }

TEST(SettingsStrv, BothLoadersFillTheirStoreInPathOrder) {
  TempDir dir;
  LogCapture log;
  std::string base = dir.write("base.conf", "[Camera]\nName=base\nSpeed=3\n");
  std::string local = dir.write("local.conf", "[Camera]\nSpeed=5\n");
  std::string parsed = dir.write("camera.cfg", "Lens {\n  Zoom = 12\n}\n");
  std::string missing = dir.file("missing.conf");

  const gchar *key_files[] = {base.c_str(), missing.c_str(), local.c_str(), nullptr};
  EXPECT_TRUE(ptz_settings_load_config_gkf_strv(key_files, FALSE));
  const gchar *structured[] = {parsed.c_str(), nullptr};
  EXPECT_TRUE(ptz_settings_load_config_strv(structured, TRUE));
  EXPECT_EQ(value("Camera", "Name"), "base");
  EXPECT_EQ(value("Camera", "Speed"), "5");
  EXPECT_EQ(value("Lens", "Zoom"), "12");
  EXPECT_TRUE(log.lines().empty());

  // Required: a missing file fails the load and says why.
  EXPECT_FALSE(ptz_settings_load_config_gkf_strv(key_files, TRUE));
  EXPECT_EQ(log.count_containing("could not open file '" + missing + "'"), 1u);
  // Nothing to read fails and empties the loader's own half only.
  EXPECT_FALSE(ptz_settings_load_config_gkf_strv(nullptr, TRUE));
  EXPECT_EQ(value("Camera", "Name"), "<NULL>");
  EXPECT_EQ(value("Lens", "Zoom"), "12");
}

}  // namespace
