// Finding configuration files and loading them into the settings store.

#include <string>
#include <utility>
#include <vector>

#include "ptz_settings.h"
#include "velmora_test.h"

namespace {

using velmora::testing::LogCapture;
using velmora::testing::TempDir;
using Paths = std::vector<std::string>;

Paths found(const std::string &pattern, gboolean required = TRUE) {
  gchar **paths = ptz_settings_find_config_files(pattern.c_str(), required);
  if (paths == nullptr) return {"<NULL>"};
  Paths result(paths, paths + g_strv_length(paths));
  g_strfreev(paths);
  return result;
}

// A NULL-terminated file list over names it owns.
class Files {
 public:
  Files(std::initializer_list<std::pair<std::string, gboolean>> list) : names_(list) {
    for (const auto &[name, required] : names_) entries_.push_back({name.c_str(), required});
    entries_.push_back({nullptr, FALSE});
  }
  operator const PTZSettingsFile *() const { return entries_.data(); }

 private:
  std::vector<std::pair<std::string, gboolean>> names_;
  std::vector<PTZSettingsFile> entries_;
};

std::string value(const char *group, const char *key) {
  gchar *text = ptz_settings_get_custom_string(group, key);
  std::string result = text ? text : "<NULL>";
  g_free(text);
  return result;
}

TEST(FindConfigFiles, ListingOrderAndAllOrNothing) {
  TempDir dir;
  LogCapture log;
  std::string b = dir.write("d/20-local.conf", ""), a = dir.write("d/10-base.conf", "");
  dir.write("d/README", "");
  EXPECT_EQ(found(dir.file("d/*.conf")), (Paths{a, b}));
  // One name of the listing missing: nothing at all, and no message when optional.
  EXPECT_EQ(found(a + " " + dir.file("d/missing"), FALSE), Paths{"<NULL>"});
  EXPECT_EQ(log.lines().size(), 0u);
  std::string none = dir.file("none/*");
  EXPECT_EQ(found(none), Paths{"<NULL>"});
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_find_config_files: Files not found: '" + none + "'"));
}

// A listed path that does not fit the 200-byte line buffer (with its newline
// and terminator) is skipped whole; its tail never becomes a path of its own.
TEST(FindConfigFiles, OverlongPathsAreSkippedWhole) {
  TempDir dir;
  auto path_of_length = [&](size_t length, char fill) {
    return dir.write(std::string(length - dir.path().size() - 1, fill), "");
  };
  std::string fits = path_of_length(198, 'a');
  path_of_length(199, 'b');
  path_of_length(250, 'c');
  std::string shorter = dir.write("d.conf", "");
  EXPECT_EQ(found(dir.file("*")), (Paths{fits, shorter}));
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
  std::string missing = dir.file("missing.cfg"), none = dir.file("none/*.cfg");
  // Optional misses, a required pattern without matches and a two-file
  // pattern with one file missing neither fail the load nor add a file.
  EXPECT_TRUE(ptz_settings_load_config(Files{{missing, FALSE}, {good, TRUE}, {bad, FALSE}},
                                       Files{{none, TRUE}, {bad + " " + missing, TRUE}}));
  EXPECT_EQ(value("G", "K"), "v");
  EXPECT_EQ(log.lines().size(), 2u);
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_find_config_files: Files not found: '" + none + "'"));
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_find_config_files: Files not found: '" + bad + " " +
                                        missing + "'"));

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

TEST_F(Loading, EmptyListsGiveAnEmptyParsedStoreButNoKeyFileStore) {
  ASSERT_TRUE(ptz_settings_load_config_gkf(Files{{dir.write("a.conf", "[KF]\nA=1\n"), TRUE}}, nullptr));
  ASSERT_TRUE(ptz_settings_load_config(Files{{dir.write("a.cfg", "ST {\n A = 1\n}\n"), TRUE}}, nullptr));
  EXPECT_TRUE(ptz_settings_load_config_ext(nullptr, nullptr));
  EXPECT_FALSE(ptz_settings_has_custom_group("ST"));
  EXPECT_TRUE(ptz_settings_has_custom_group("KF"));
  EXPECT_FALSE(ptz_settings_load_config_gkf(Files{}, nullptr));
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_load_config_gkf: no data to read"));
  EXPECT_FALSE(ptz_settings_has_custom_group("KF"));
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

TEST_F(Loading, GroupInKeyFileStoreHidesTheParsedStoresKeys) {
  std::string kf = dir.write("a.conf", "[Shared]\nOnlyHere=kf\n");
  std::string st = dir.write("a.cfg", "Shared {\n  Key = parsed\n}\nOwn {\n  Key = parsed\n}\n");
  ASSERT_TRUE(ptz_settings_load_config(Files{{st, TRUE}}, nullptr));
  ASSERT_TRUE(ptz_settings_load_config_gkf(Files{{kf, TRUE}}, nullptr));
  EXPECT_EQ(value("Shared", "Key"), "<NULL>");
  EXPECT_EQ(value("Shared", "OnlyHere"), "kf");
  EXPECT_EQ(value("Own", "Key"), "parsed");
}

}  // namespace
