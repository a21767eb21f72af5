// Versioned key files: opening with the version check, storing durably.
#include <errno.h>
#include <sys/stat.h>

#include <string>

#include "common/ptz_raii.h"
#include "ptz_keyfile.h"
#include "velmora_test.h"
#ifdef VELMORA_PLATFORM_BUNDLED
#include "morvel_testing.h"
#endif

using velmora::testing::TempDir;

namespace {

std::string read_file(const std::string &path) {
  gchar *text = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &text, &length, nullptr)) return "<missing>";
  std::string out(text, length);
  g_free(text);
  return out;
}

gint get_int(GKeyFile *key_file, const char *group, const char *key) {
  return g_key_file_get_integer(key_file, group, key, nullptr);
}

mode_t current_umask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

}  // namespace

TEST(KeyFile, NewFileHoldsOnlyTheHeaderUntilStored) {
  TempDir dir;
  std::string path = dir.file("state/daemon/store.conf");
  gboolean compatible = FALSE;
  GError *error = nullptr;
  velmora::GKeyFilePtr key_file(ptz_config_init_key_file(path.c_str(), 3, 1, &compatible, &error));
  ASSERT_TRUE(key_file);
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(compatible);
  gsize n_groups = 0;
  velmora::GStrv groups(g_key_file_get_groups(key_file.get(), &n_groups));
  ASSERT_EQ(n_groups, 1u);
  EXPECT_STREQ(groups.get()[0], "Header");
  EXPECT_EQ(get_int(key_file.get(), "Header", "VersionMajor"), 3);
  EXPECT_EQ(get_int(key_file.get(), "Header", "VersionMinor"), 1);
  EXPECT_FALSE(g_file_test(dir.file("state").c_str(), G_FILE_TEST_EXISTS)) << "opening wrote something";

  g_key_file_set_string(key_file.get(), "Presets", "Home", "10,20");
  ASSERT_TRUE(ptz_config_store_key_file(path.c_str(), key_file.get(), &error));
  struct stat st;
  ASSERT_EQ(stat(dir.file("state/daemon").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0775 & ~current_umask());

  velmora::GKeyFilePtr reread(ptz_config_init_key_file(path.c_str(), 3, 1, &compatible, &error));
  ASSERT_TRUE(reread);
  EXPECT_EQ(get_int(reread.get(), "Header", "VersionMajor"), 3);
  EXPECT_EQ(get_int(reread.get(), "Header", "VersionMinor"), 1);
  velmora::GCharPtr home(g_key_file_get_string(reread.get(), "Presets", "Home", nullptr));
  EXPECT_STREQ(home.get(), "10,20");
}

TEST(KeyFile, CompatibilityFollowsMajorAndMinorVersion) {
  TempDir dir;
  std::string path = dir.write("v.conf", "[Header]\nVersionMajor=2\nVersionMinor=3\n[Data]\nx=1\n");
  struct Case {
    gint major, minor;
    gboolean compatible;
  } cases[] = {{2, 1, TRUE}, {2, 3, TRUE}, {2, -1, TRUE}, {2, 4, FALSE}, {3, 0, FALSE}, {1, 9, FALSE}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "caller version " << c.major << "." << c.minor);
    gboolean compatible = !c.compatible;
    GError *error = nullptr;
    // An incompatible file is handed out too: the caller decides what to do.
    velmora::GKeyFilePtr key_file(ptz_config_init_key_file(path.c_str(), c.major, c.minor, &compatible, &error));
    ASSERT_TRUE(key_file);
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(compatible, c.compatible);
    EXPECT_EQ(get_int(key_file.get(), "Data", "x"), 1);
  }
  velmora::GKeyFilePtr without_flag(ptz_config_init_key_file(path.c_str(), 9, 9, nullptr, nullptr));
  EXPECT_TRUE(without_flag);
}

TEST(KeyFile, MissingOrBrokenHeaderFailsWithTheReadersError) {
  TempDir dir;
  struct Case {
    const char *text;
    GQuark domain;
    gint code;
  } cases[] = {
      {"[Data]\nx=1\n", G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_GROUP_NOT_FOUND},
      {"[Header]\nVersionMajor=1\n", G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_KEY_NOT_FOUND},
      {"[Header]\nVersionMajor=one\nVersionMinor=0\n", G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_INVALID_VALUE},
      {"[Header]\nVersionMajor=1\nVersionMinor=0x\n", G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_INVALID_VALUE},
      {"VersionMajor=1\n", G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_GROUP_NOT_FOUND},
      {"[Header\nVersionMajor=1\n", G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_PARSE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    std::string path = dir.write("bad.conf", c.text);
    gboolean compatible = 77;
    GError *error = nullptr;
    EXPECT_EQ(ptz_config_init_key_file(path.c_str(), 1, 0, &compatible, &error), nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(g_error_matches(error, c.domain, c.code)) << error->message;
    g_error_free(error);
    EXPECT_EQ(compatible, 77);
    EXPECT_EQ(ptz_config_init_key_file(path.c_str(), 1, 0, &compatible, nullptr), nullptr);
  }
  // Something that exists but cannot be read as a file.
  GError *error = nullptr;
  EXPECT_EQ(ptz_config_init_key_file(dir.path().c_str(), 1, 0, nullptr, &error), nullptr);
  EXPECT_NE(error, nullptr);
  g_clear_error(&error);
}

TEST(KeyFile, StoringDropsCommentsAndAnEmptiedFileIsDeleted) {
  TempDir dir;
  std::string path = dir.write("c.conf",
                               "# written by hand\n[Header]\n# the version\nVersionMajor=1\n"
                               "VersionMinor=0\n[Data]\nx=1\n");
  velmora::GKeyFilePtr key_file(ptz_config_init_key_file(path.c_str(), 1, 0, nullptr, nullptr));
  ASSERT_TRUE(key_file);
  ASSERT_TRUE(ptz_config_store_key_file(path.c_str(), key_file.get(), nullptr));
  std::string stored = read_file(path);
  EXPECT_EQ(stored.find('#'), std::string::npos) << stored;
  EXPECT_NE(stored.find("x=1"), std::string::npos) << stored;

  g_key_file_remove_group(key_file.get(), "Header", nullptr);
  g_key_file_remove_group(key_file.get(), "Data", nullptr);
  GError *error = nullptr;
  EXPECT_TRUE(ptz_config_store_key_file(path.c_str(), key_file.get(), &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_FALSE(g_file_test(path.c_str(), G_FILE_TEST_EXISTS));
  // Nothing to delete is no failure either.
  EXPECT_TRUE(ptz_config_store_key_file(path.c_str(), key_file.get(), &error));
}

TEST(KeyFile, FailedStoreReportsErrorAndKeepsOldFile) {
  TempDir dir;
  // A parent that is a regular file: neither the directories nor the file
  // can be created.
  std::string blocker = dir.write("blocker", "x");
  velmora::GKeyFilePtr key_file(ptz_config_init_key_file((blocker + "/sub/f.conf").c_str(), 1, 0, nullptr, nullptr));
  ASSERT_TRUE(key_file);
  GError *error = nullptr;
  EXPECT_FALSE(ptz_config_store_key_file((blocker + "/sub/f.conf").c_str(), key_file.get(), &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain, G_FILE_ERROR);
  g_clear_error(&error);
  EXPECT_EQ(read_file(blocker), "x");

#ifdef VELMORA_PLATFORM_BUNDLED
  std::string path = dir.write("keep.conf", "[Header]\nVersionMajor=1\nVersionMinor=0\n");
  morvel_testing_fail_next(MORVEL_TESTING_FAIL_WRITE, ENOSPC, 1);
  g_key_file_set_string(key_file.get(), "Data", "x", "new");
  EXPECT_FALSE(ptz_config_store_key_file(path.c_str(), key_file.get(), &error));
  ASSERT_NE(error, nullptr);
  EXPECT_TRUE(g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOSPC)) << error->message;
  g_clear_error(&error);
  EXPECT_EQ(read_file(path), "[Header]\nVersionMajor=1\nVersionMinor=0\n");
  // The fault was used up: the next store goes through.
  EXPECT_TRUE(ptz_config_store_key_file(path.c_str(), key_file.get(), &error));
  EXPECT_NE(read_file(path).find("x=new"), std::string::npos);
#endif
}
