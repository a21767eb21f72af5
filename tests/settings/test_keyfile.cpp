// Versioned key files: opening with the version check, storing durably.
#include <sys/stat.h>

#include <string>

#include "common/ptz_raii.h"
#include "ptz_keyfile.h"
#include "velmora_test.h"

using velmora::testing::read_file;
using velmora::testing::TempDir;

namespace {

velmora::GKeyFilePtr open(const std::string &path, gint major, gint minor, gboolean *compatible = nullptr,
                          GError **error = nullptr) {
  return velmora::GKeyFilePtr(ptz_config_init_key_file(path.c_str(), major, minor, compatible, error));
}

}  // namespace

TEST(KeyFile, NewFileHoldsOnlyTheHeaderUntilStored) {
  TempDir dir;
  std::string path = dir.file("state/daemon/store.conf");
  gboolean compatible = FALSE;
  velmora::GKeyFilePtr key_file = open(path, 3, 1, &compatible);
  ASSERT_TRUE(key_file);
  EXPECT_TRUE(compatible);
  EXPECT_FALSE(g_file_test(dir.file("state").c_str(), G_FILE_TEST_EXISTS)) << "opening wrote something";

  ASSERT_TRUE(ptz_config_store_key_file(path.c_str(), key_file.get(), nullptr));
  EXPECT_EQ(read_file(path), "[Header]\nVersionMajor=3\nVersionMinor=1\n");
  mode_t mask = umask(0);
  umask(mask);
  struct stat st;
  ASSERT_EQ(stat(dir.file("state/daemon").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0775 & ~mask);
}

TEST(KeyFile, CompatibilityFollowsMajorAndMinorVersion) {
  TempDir dir;
  std::string path = dir.write("v.conf", "[Header]\nVersionMajor=2\nVersionMinor=3\n[Data]\nx=1\n");
  const std::tuple<gint, gint, gboolean> cases[] = {{2, 1, TRUE},  {2, 3, TRUE},  {2, -1, TRUE},
                                                    {2, 4, FALSE}, {3, 0, FALSE}, {1, 9, FALSE}};
  for (const auto &[major, minor, expected] : cases) {
    SCOPED_TRACE(testing::Message() << "caller version " << major << "." << minor);
    gboolean compatible = !expected;
    // An incompatible file is handed out too: the caller decides what to do.
    velmora::GKeyFilePtr key_file = open(path, major, minor, &compatible);
    ASSERT_TRUE(key_file);
    EXPECT_EQ(compatible, expected);
    EXPECT_EQ(g_key_file_get_integer(key_file.get(), "Data", "x", nullptr), 1);
  }
}

TEST(KeyFile, MissingOrBrokenHeaderFailsWithTheReadersError) {
  TempDir dir;
  const std::pair<const char *, gint> cases[] = {
      {"[Data]\nx=1\n", G_KEY_FILE_ERROR_GROUP_NOT_FOUND},
      {"[Header]\nVersionMajor=1\n", G_KEY_FILE_ERROR_KEY_NOT_FOUND},
      {"[Header]\nVersionMajor=1\nVersionMinor=0x\n", G_KEY_FILE_ERROR_INVALID_VALUE},
      {"[Header\nVersionMajor=1\n", G_KEY_FILE_ERROR_PARSE},
  };
  for (const auto &[text, code] : cases) {
    SCOPED_TRACE(text);
    std::string path = dir.write("bad.conf", text);
    gboolean compatible = 77;
    GError *error = nullptr;
    EXPECT_FALSE(open(path, 1, 0, &compatible, &error));
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(g_error_matches(error, G_KEY_FILE_ERROR, code)) << error->message;
    g_error_free(error);
    EXPECT_EQ(compatible, 77);
    EXPECT_FALSE(open(path, 1, 0));  // without an error to fill in
  }
}

TEST(KeyFile, StoringDropsCommentsAndAnEmptiedFileIsDeleted) {
  TempDir dir;
  std::string path = dir.write("c.conf", "# by hand\n[Header]\nVersionMajor=1\nVersionMinor=0\n[Data]\nx=1\n");
  velmora::GKeyFilePtr key_file = open(path, 1, 0);
  ASSERT_TRUE(key_file);
  ASSERT_TRUE(ptz_config_store_key_file(path.c_str(), key_file.get(), nullptr));
  EXPECT_EQ(read_file(path), "[Header]\nVersionMajor=1\nVersionMinor=0\n\n[Data]\nx=1\n");

  g_key_file_remove_group(key_file.get(), "Header", nullptr);
  g_key_file_remove_group(key_file.get(), "Data", nullptr);
  EXPECT_TRUE(ptz_config_store_key_file(path.c_str(), key_file.get(), nullptr));
  EXPECT_FALSE(g_file_test(path.c_str(), G_FILE_TEST_EXISTS));
  // Nothing to delete is no failure either.
  EXPECT_TRUE(ptz_config_store_key_file(path.c_str(), key_file.get(), nullptr));

  // A parent that is a regular file: neither directory nor file can be made.
  std::string blocked = dir.write("blocker", "x") + "/sub/f.conf";
  GError *error = nullptr;
  EXPECT_FALSE(ptz_config_store_key_file(blocked.c_str(), open(blocked, 1, 0).get(), &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain, G_FILE_ERROR);
  g_error_free(error);
  EXPECT_EQ(read_file(dir.file("blocker")), "x");
}
