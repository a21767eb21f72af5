// Finding configuration files and loading them into the settings store.

#include <string>
#include <vector>

#include "ptz_settings.h"
#include "velmora_test.h"

namespace {

using velmora::testing::GLibLogCapture;
using velmora::testing::LogCapture;
using velmora::testing::TempDir;

std::vector<std::string> found(const std::string &pattern, gboolean required) {
  std::vector<std::string> result;
  gchar **paths = ptz_settings_find_config_files(pattern.c_str(), required);
  if (paths == nullptr) return {"<NULL>"};
  for (gchar **p = paths; *p; p++) result.emplace_back(*p);
  g_strfreev(paths);
  return result;
}

std::string string_of(const char *group, const char *key) {
  gchar *value = ptz_settings_get_custom_string(group, key);
  std::string result = value ? value : "<NULL>";
  g_free(value);
  return result;
}

TEST(FindConfigFiles, ListsWhatThePatternExpandsToInListingOrder) {
  TempDir dir;
  std::string b = dir.write("conf.d/20-local.conf", "");
  std::string a = dir.write("conf.d/10-base.conf", "");
  dir.write("conf.d/README", "");
  EXPECT_EQ(found(dir.file("conf.d/*.conf"), TRUE), (std::vector<std::string>{a, b}));
  // Several blank-separated patterns are one listing.
  EXPECT_EQ(found(b + " " + a, TRUE).size(), 2u);
}

TEST(FindConfigFiles, ListingIsAllOrNothing) {
  TempDir dir;
  std::string present = dir.write("present.conf", "");
  LogCapture log;
  EXPECT_EQ(found(present + " " + dir.file("missing.conf"), FALSE), std::vector<std::string>{"<NULL>"});
  EXPECT_EQ(log.lines().size(), 0u);

  std::string pattern = dir.file("nothing/*.conf");
  EXPECT_EQ(found(pattern, TRUE), std::vector<std::string>{"<NULL>"});
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_find_config_files: Files not found: '" + pattern + "'"));
}

TEST(FindConfigFiles, NullPatternIsAPreconditionFailure) {
  GLibLogCapture criticals;
  EXPECT_EQ(ptz_settings_find_config_files(nullptr, TRUE), nullptr);
  EXPECT_EQ(criticals.count_containing("files != NULL"), 1u);
}

// A listed path that does not fit the 200-byte line buffer (with its
// newline and terminator) is skipped whole; its tail never becomes a path.
TEST(FindConfigFiles, OverlongPathsAreSkippedWhole) {
  TempDir dir;
  auto path_of_length = [&](size_t length, char fill) {
    size_t name_length = length - dir.path().size() - 1;
    return dir.write(std::string(name_length, fill), "");
  };
  std::string fits = path_of_length(198, 'a');
  path_of_length(199, 'b');
  path_of_length(250, 'c');
  std::string shorter = dir.write("d.conf", "");
  EXPECT_EQ(found(dir.file("*"), TRUE), (std::vector<std::string>{fits, shorter}));
}

class Loading : public ::testing::Test {
 protected:
  TempDir dir;
  LogCapture log;
};

TEST_F(Loading, LaterFilesWinInBothLoaders) {
  dir.write("kf/10-base.conf", "[Camera]\nName=base\nSpeed=3\n");
  dir.write("kf/20-local.conf", "[Camera]\nName=local\n");
  std::string pattern = dir.file("kf/*.conf");
  PTZSettingsFile kf_patterns[] = {{pattern.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_gkf(nullptr, kf_patterns));
  EXPECT_EQ(string_of("Camera", "Name"), "local");
  EXPECT_EQ(string_of("Camera", "Speed"), "3");

  // Explicit files come before every pattern's files.
  std::string explicit_file = dir.write("explicit.cfg", "Lens {\n  Zoom = explicit\n  Focus = explicit\n}\n");
  dir.write("st/10-base.cfg", "Lens {\n  Zoom = base\n  Iris = base\n}\n");
  dir.write("st/20-local.cfg", "Lens {\n  Zoom = local\n}\n");
  std::string st_pattern = dir.file("st/*.cfg");
  PTZSettingsFile files[] = {{explicit_file.c_str(), TRUE}, {nullptr, FALSE}};
  PTZSettingsFile patterns[] = {{st_pattern.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config(files, patterns));
  EXPECT_EQ(string_of("Lens", "Zoom"), "local");
  EXPECT_EQ(string_of("Lens", "Iris"), "base");
  EXPECT_EQ(string_of("Lens", "Focus"), "explicit");
  // Each loader replaces only its own store.
  EXPECT_EQ(string_of("Camera", "Name"), "local");
  EXPECT_EQ(log.lines().size(), 0u);
}

TEST_F(Loading, EmptyListsGiveAnEmptyParsedStoreButNoKeyFileStore) {
  std::string kf = dir.write("a.conf", "[KF]\nA=1\n");
  std::string st = dir.write("a.cfg", "ST {\n  A = 1\n}\n");
  PTZSettingsFile kf_files[] = {{kf.c_str(), TRUE}, {nullptr, FALSE}};
  PTZSettingsFile st_files[] = {{st.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_gkf(kf_files, nullptr));
  ASSERT_TRUE(ptz_settings_load_config(st_files, nullptr));

  EXPECT_TRUE(ptz_settings_load_config_ext(nullptr, nullptr));
  EXPECT_FALSE(ptz_settings_has_custom_group("ST"));
  EXPECT_TRUE(ptz_settings_has_custom_group("KF"));

  PTZSettingsFile empty[] = {{nullptr, FALSE}};
  EXPECT_FALSE(ptz_settings_load_config_gkf(empty, nullptr));
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_load_config_gkf: no data to read"));
  EXPECT_FALSE(ptz_settings_has_custom_group("KF"));
}

TEST_F(Loading, RequiredAndOptionalFilesAndPatterns) {
  std::string good = dir.write("good.cfg", "G {\n  K = v\n}\n");
  std::string missing = dir.file("missing.cfg");
  std::string no_match = dir.file("none/*.cfg");

  // Optional misses and a required pattern without matches do not fail.
  PTZSettingsFile files[] = {{missing.c_str(), FALSE}, {good.c_str(), TRUE}, {nullptr, FALSE}};
  PTZSettingsFile patterns[] = {{no_match.c_str(), TRUE}, {nullptr, FALSE}};
  EXPECT_TRUE(ptz_settings_load_config(files, patterns));
  EXPECT_EQ(string_of("G", "K"), "v");
  EXPECT_EQ(log.lines().size(), 1u);
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_find_config_files: Files not found: '" + no_match + "'"));

  // A required file that is missing fails; what came before it stays.
  log.clear();
  PTZSettingsFile required[] = {{good.c_str(), TRUE}, {missing.c_str(), TRUE}, {nullptr, FALSE}};
  EXPECT_FALSE(ptz_settings_load_config(required, nullptr));
  EXPECT_TRUE(log.contains(LOG_ERR, "could not open file '" + missing + "': No such file or directory"));
  EXPECT_EQ(string_of("G", "K"), "v");

  // The same in the key-file loader leaves no key-file store.
  std::string kf = dir.write("good.conf", "[G]\nK=kf\n");
  PTZSettingsFile kf_files[] = {{kf.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_gkf(kf_files, nullptr));
  EXPECT_EQ(string_of("G", "K"), "kf");
  log.clear();
  PTZSettingsFile kf_required[] = {{kf.c_str(), TRUE}, {missing.c_str(), TRUE}, {nullptr, FALSE}};
  EXPECT_FALSE(ptz_settings_load_config_gkf(kf_required, nullptr));
  EXPECT_EQ(log.count_containing("could not open file '" + missing + "': "), 1u);
  EXPECT_EQ(string_of("G", "K"), "v");
}

TEST_F(Loading, TwoFilePatternWithOneMissingContributesNothing) {
  std::string first = dir.write("first.cfg", "G {\n  K = first\n}\n");
  std::string pattern = first + " " + dir.file("second.cfg");
  PTZSettingsFile patterns[] = {{pattern.c_str(), TRUE}, {nullptr, FALSE}};
  EXPECT_TRUE(ptz_settings_load_config(nullptr, patterns));
  EXPECT_FALSE(ptz_settings_has_custom_group("G"));
}

TEST_F(Loading, StructuredFileThatDoesNotParse) {
  std::string good = dir.write("good.cfg", "G {\n  K = v\n}\n");
  std::string bad = dir.write("bad.cfg", "G {\n  K = \"open\n}\n");
  PTZSettingsFile optional[] = {{good.c_str(), TRUE}, {bad.c_str(), FALSE}, {nullptr, FALSE}};
  EXPECT_TRUE(ptz_settings_load_config(optional, nullptr));
  EXPECT_EQ(string_of("G", "K"), "v");

  PTZSettingsFile required[] = {{good.c_str(), TRUE}, {bad.c_str(), TRUE}, {nullptr, FALSE}};
  EXPECT_FALSE(ptz_settings_load_config(required, nullptr));
  EXPECT_TRUE(log.contains(LOG_ERR, "could not open file '" + bad + "': Invalid argument"));
  EXPECT_EQ(string_of("G", "K"), "v");
}

TEST_F(Loading, Latin1ConversionOnlyInTheParsedStore) {
  std::string st = dir.write("latin1.cfg", "Place {\n  Name = caf\xE9\n  Quoted = \"\\xE9t\\xE9\"\n}\n");
  PTZSettingsFile files[] = {{st.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config(files, nullptr));
  EXPECT_EQ(string_of("Place", "Name"), "caf\xC3\xA9");
  EXPECT_EQ(string_of("Place", "Quoted"), "\xC3\xA9t\xC3\xA9");

  PTZSettingsFileExt unconverted[] = {{st.c_str(), TRUE, FALSE}, {nullptr, FALSE, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_ext(unconverted, nullptr));
  EXPECT_EQ(string_of("Place", "Name"), "<NULL>");
  EXPECT_TRUE(ptz_settings_has_custom_group("Place"));

  // UTF-8 text is never converted twice.
  std::string utf8 = dir.write("utf8.cfg", "Place {\n  Name = caf\xC3\xA9\n}\n");
  PTZSettingsFile utf8_files[] = {{utf8.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config(utf8_files, nullptr));
  EXPECT_EQ(string_of("Place", "Name"), "caf\xC3\xA9");

  std::string kf = dir.write("latin1.conf", "[KPlace]\nName=caf\xE9\nOther=plain\n");
  PTZSettingsFile kf_files[] = {{kf.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_gkf(kf_files, nullptr));
  EXPECT_EQ(string_of("KPlace", "Name"), "<NULL>");
  EXPECT_EQ(string_of("KPlace", "Other"), "plain");
}

TEST_F(Loading, ParsedRecordWithoutValueReadsAsEmpty) {
  std::string st = dir.write("flags.cfg", "Flags {\n  Enabled\n  Set = 1\n}\n");
  PTZSettingsFile files[] = {{st.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config(files, nullptr));
  EXPECT_EQ(string_of("Flags", "Enabled"), "");
  gboolean flag = TRUE;
  EXPECT_FALSE(ptz_settings_get_custom_boolean("Flags", "Enabled", &flag));
  EXPECT_TRUE(flag);
}

TEST_F(Loading, KeyFilesFormOneDocument) {
  // No newline at the end of the first file, a group continued by the
  // second, and a repeated key: the last one counts.
  std::string a = dir.write("a.conf", "[Drive]\nPan=1\nTilt=1");
  std::string b = dir.write("b.conf", "Zoom=2\nTilt=2\n\n[Other]\nX=y\n");
  PTZSettingsFile files[] = {{a.c_str(), TRUE}, {b.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_gkf(files, nullptr));
  EXPECT_EQ(string_of("Drive", "Pan"), "1");
  EXPECT_EQ(string_of("Drive", "Tilt"), "2");
  EXPECT_EQ(string_of("Drive", "Zoom"), "2");
  EXPECT_EQ(string_of("Other", "X"), "y");
}

TEST_F(Loading, KeyFileThatDoesNotParseKeepsWhatWasParsed) {
  std::string a = dir.write("a.conf", "[Good]\nA=1\nthis is not a key file line\n");
  PTZSettingsFile files[] = {{a.c_str(), TRUE}, {nullptr, FALSE}};
  EXPECT_FALSE(ptz_settings_load_config_gkf(files, nullptr));
  EXPECT_EQ(log.count_containing("could not load settings: "), 1u);
  EXPECT_EQ(string_of("Good", "A"), "1");
}

TEST_F(Loading, GroupInKeyFileStoreHidesTheParsedStoresKeys) {
  std::string kf = dir.write("a.conf", "[Shared]\nOnlyHere=kf\n");
  std::string st = dir.write("a.cfg", "Shared {\n  Key = parsed\n}\nOwn {\n  Key = parsed\n}\n");
  PTZSettingsFile kf_files[] = {{kf.c_str(), TRUE}, {nullptr, FALSE}};
  PTZSettingsFile st_files[] = {{st.c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config(st_files, nullptr));
  ASSERT_TRUE(ptz_settings_load_config_gkf(kf_files, nullptr));
  EXPECT_EQ(string_of("Shared", "Key"), "<NULL>");
  EXPECT_EQ(string_of("Shared", "OnlyHere"), "kf");
  EXPECT_EQ(string_of("Own", "Key"), "parsed");
}

}  // namespace
