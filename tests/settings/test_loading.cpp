// Finding configuration files and loading them into the settings store.

#include "settings_test.h"

namespace {

using namespace velmora::testing;
using Files = FileList;

std::string value(const char *group, const char *key) { return take(ptz_settings_get_custom_string(group, key)); }

// Paths come in listing order. A path that does not fit the 200-byte line
// buffer (with its newline and terminator) is skipped whole; its tail never
// becomes a path of its own.
TEST(FindConfigFiles, ListingOrderAndOverlongPathsSkippedWhole) {
  TempDir dir;
  auto path_of_length = [&](size_t length, char fill) {
    return dir.write(std::string(length - dir.path().size() - 1, fill), "");
  };
  std::string fits = path_of_length(198, 'a');
  path_of_length(199, 'b');
  path_of_length(250, 'c');
  std::string shorter = dir.write("d.conf", "");
  gchar **paths = ptz_settings_find_config_files(dir.file("*").c_str(), TRUE);
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(std::vector<std::string>(paths, paths + g_strv_length(paths)), (std::vector<std::string>{fits, shorter}));
  g_strfreev(paths);
}

class Loading : public ::testing::Test {
 protected:
  TempDir dir;
  LogCapture log;
};

TEST_F(Loading, LaterFilesWinInBothLoaders) {
  dir.write("kf/10-base.conf", "[Camera]\nName=base\nSpeed=3\n");
  dir.write("kf/20-local.conf", "[Camera]\nName=local\n");
  ASSERT_TRUE(ptz_settings_load_config_gkf(nullptr, Files{{dir.file("kf/*.conf"), TRUE}}));
  EXPECT_EQ(value("Camera", "Name"), "local");
  EXPECT_EQ(value("Camera", "Speed"), "3");

  // Explicit files come before every pattern's files.
  std::string first = dir.write("explicit.cfg", "Lens {\n  Zoom = explicit\n  Focus = explicit\n}\n");
  dir.write("st/10-base.cfg", "Lens {\n  Zoom = base\n  Iris = base\n}\n");
  dir.write("st/20-local.cfg", "Lens {\n  Zoom = local\n}\n");
  ASSERT_TRUE(ptz_settings_load_config(Files{{first, TRUE}}, Files{{dir.file("st/*.cfg"), TRUE}}));
  EXPECT_EQ(value("Lens", "Zoom"), "local");
  EXPECT_EQ(value("Lens", "Iris"), "base");
  EXPECT_EQ(value("Lens", "Focus"), "explicit");
  // Each loader replaces only its own store.
  EXPECT_EQ(value("Camera", "Name"), "local");
  EXPECT_EQ(log.lines().size(), 0u);
}

TEST_F(Loading, RequiredAndOptionalFilesAndPatterns) {
  std::string good = dir.write("good.cfg", "G {\n  K = v\n}\n");
  std::string bad = dir.write("bad.cfg", "G {\n  K = \"open\n}\n");
  std::string other = dir.write("other.cfg", "G {\n  K = other\n}\n");
  std::string missing = dir.file("missing.cfg"), none = dir.file("none/*.cfg");
  // Optional misses and patterns without matches do not fail the load; a
  // pattern whose listing fails in part adds no file at all (other.cfg would
  // change K), and only the required one is logged.
  EXPECT_TRUE(ptz_settings_load_config(Files{{missing, FALSE}, {good, TRUE}, {bad, FALSE}},
                                       Files{{none, FALSE}, {other + " " + missing, TRUE}}));
  EXPECT_EQ(value("G", "K"), "v");
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_TRUE(
      log.contains(LOG_ERR, "ptz_settings_find_config_files: Files not found: '" + other + " " + missing + "'"));

  // A required file that is missing or does not parse fails; what came before it stays.
  EXPECT_FALSE(ptz_settings_load_config(Files{{good, TRUE}, {missing, TRUE}}, nullptr));
  EXPECT_TRUE(log.contains(LOG_ERR, "could not open file '" + missing + "': No such file or directory"));
  EXPECT_FALSE(ptz_settings_load_config(Files{{good, TRUE}, {bad, TRUE}}, nullptr));
  EXPECT_TRUE(log.contains(LOG_ERR, "could not open file '" + bad + "': Invalid argument"));
  EXPECT_EQ(value("G", "K"), "v");

  // In the key-file loader the failure leaves no key-file store at all.
  std::string kf = dir.write("good.conf", "[G]\nK=kf\n");
  ASSERT_TRUE(ptz_settings_load_config_gkf(Files{{kf, TRUE}}, nullptr));
  EXPECT_EQ(value("G", "K"), "kf");
  EXPECT_FALSE(ptz_settings_load_config_gkf(Files{{kf, TRUE}, {missing, TRUE}}, nullptr));
  EXPECT_EQ(log.count(LOG_ERR, "could not open file '" + missing + "': No such file or directory"), 2u);
  EXPECT_EQ(value("G", "K"), "v");
}

// The key-file store is searched first, and only the store holding a group
// is asked for its keys; empty lists empty the parsed store but leave no
// key-file store.
TEST_F(Loading, TwoStores) {
  std::string kf = dir.write("a.conf", "[Shared]\nOnlyHere=kf\n");
  std::string st = dir.write("a.cfg", "Shared {\n  Key = parsed\n}\nOwn {\n  Key = parsed\n}\n");
  ASSERT_TRUE(ptz_settings_load_config(Files{{st, TRUE}}, nullptr));
  ASSERT_TRUE(ptz_settings_load_config_gkf(Files{{kf, TRUE}}, nullptr));
  EXPECT_EQ(value("Shared", "Key"), "<NULL>");
  EXPECT_EQ(value("Shared", "OnlyHere"), "kf");
  EXPECT_EQ(value("Own", "Key"), "parsed");

  EXPECT_TRUE(ptz_settings_load_config_ext(nullptr, nullptr));
  EXPECT_FALSE(ptz_settings_has_custom_group("Own"));
  EXPECT_TRUE(ptz_settings_has_custom_group("Shared"));
  EXPECT_FALSE(ptz_settings_load_config_gkf(Files{}, nullptr));
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_load_config_gkf: no data to read"));
  EXPECT_FALSE(ptz_settings_has_custom_group("Shared"));
}

TEST_F(Loading, Latin1ConversionOnlyInTheParsedStore) {
  std::string st = dir.write("latin1.cfg", "P {\n  Name = caf\xE9\n  Utf8 = \"caf\xC3\xA9\"\n  Flag\n}\n");
  ASSERT_TRUE(ptz_settings_load_config(Files{{st, TRUE}}, nullptr));
  EXPECT_EQ(value("P", "Name"), "caf\xC3\xA9");
  EXPECT_EQ(value("P", "Utf8"), "caf\xC3\xA9");
  EXPECT_EQ(value("P", "Flag"), "");  // a record without a value

  PTZSettingsFileExt unconverted[] = {{st.c_str(), TRUE, FALSE}, {nullptr, FALSE, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_ext(unconverted, nullptr));
  EXPECT_EQ(value("P", "Name"), "<NULL>");

  std::string kf = dir.write("latin1.conf", "[K]\nName=caf\xE9\nOther=plain\n");
  ASSERT_TRUE(ptz_settings_load_config_gkf(Files{{kf, TRUE}}, nullptr));
  EXPECT_EQ(value("K", "Name"), "<NULL>");
  EXPECT_EQ(value("K", "Other"), "plain");
}

}  // namespace
