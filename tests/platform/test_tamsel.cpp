// The parameter-service stand-in on its own: request checks, values kept
// byte for byte, a damaged store, and writers in several processes.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "velmora_test.h"

#ifdef VELMORA_PLATFORM_BUNDLED
#include <tamsel.h>

using velmora::testing::Child;

namespace {

class TamselStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("TAMSEL_STORE", store_.c_str(), 1); }

  static gint set(const std::string &path, const char *value, guint32 mode = 9) {
    TamselOptions options;
    cli_resetOptions(&options);
    options.mode = mode;
    gint err = -1;
    EXPECT_EQ(cli_setCustomParam(path.c_str(), value, &options, &err), err);
    return err;
  }
  // The value, or the error code in angle brackets.
  static std::string get(const std::string &path) {
    TamselOptions options;
    cli_resetOptions(&options);
    gint err = -1;
    gchar *value = cli_getCustomParam(path.c_str(), &options, &err);
    std::string out = err == TAMSEL_OK ? std::string(value) : "<" + std::to_string(err) + ">";
    g_free(value);
    return out;
  }

  velmora::testing::TempDir dir_;
  std::string store_ = dir_.file("sub/dir/params");
};

}  // namespace

TEST_F(TamselStoreTest, RequestsAreCheckedAndValuesKeptByteForByte) {
  TamselOptions not_reset{};
  not_reset.mode = 9;
  EXPECT_EQ(cli_setCustomParam("a", "v", &not_reset, nullptr), TAMSEL_ERR_OPTIONS);
  for (guint32 mode : {0u, 8u, 13u}) EXPECT_EQ(set("a", "v", mode), TAMSEL_ERR_MODE) << mode;
  EXPECT_EQ(set("", "v"), TAMSEL_ERR_ARGUMENT);
  EXPECT_EQ(set("a", nullptr), TAMSEL_ERR_ARGUMENT);
  EXPECT_EQ(get("a"), "<" + std::to_string(TAMSEL_ERR_NOT_FOUND) + ">");

  // (Raw ISO-8859-1 bytes and empty values are checked through the library.)
  const std::string multi = "line1\nline2\tend\xFF\x01";
  for (guint32 mode = 9; mode <= 12; mode++) EXPECT_EQ(set("root.PTZ.M", "first", mode), TAMSEL_OK);
  EXPECT_EQ(set("root.PTZ.M", multi.c_str()), TAMSEL_OK);
  EXPECT_EQ(get("root.PTZ.M"), multi);

  // A damaged tail (a path without its value) is ignored, and overwritten.
  FILE *f = fopen(store_.c_str(), "ab");
  ASSERT_NE(f, nullptr);
  fputs("broken-path-without-value", f);
  fclose(f);
  EXPECT_EQ(get("root.PTZ.M"), multi);
  EXPECT_EQ(set("other", "2"), TAMSEL_OK);
  EXPECT_EQ(get("other"), "2");
  EXPECT_EQ(get("root.PTZ.M"), multi);
}

// Every account may read the store; the lock and the files being written are
// the store account's alone, and nothing else is left behind.
TEST_F(TamselStoreTest, OnlyTheStoreIsOpenToOtherAccounts) {
  EXPECT_EQ(set("root.PTZ.A", "1"), TAMSEL_OK);
  EXPECT_EQ(set("root.PTZ.B", "2"), TAMSEL_OK);
  struct stat st;
  ASSERT_EQ(stat(store_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ASSERT_EQ(stat((store_ + ".lock").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  GDir *dir = g_dir_open(dir_.file("sub/dir").c_str(), 0, nullptr);
  ASSERT_NE(dir, nullptr);
  std::vector<std::string> names;
  while (const gchar *name = g_dir_read_name(dir)) names.push_back(name);
  g_dir_close(dir);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"params", "params.lock"}));
  TamselOptions options;
  cli_resetOptions(&options);
  options.mode = 9;
  gint err = -1;
  EXPECT_EQ(cli_sync(&options, &err), TAMSEL_OK);
}

// Writers in several processes at once lose no update: each one's
// read-modify-write of the store happens under the store lock.
TEST_F(TamselStoreTest, ConcurrentWritersInSeveralProcesses) {
  constexpr int kChildren = 4, kWrites = 40;
  auto path = [](int c, int i) { return "root.P" + std::to_string(c) + "." + std::to_string(i); };
  std::vector<std::unique_ptr<Child>> children;
  for (int c = 0; c < kChildren; c++) {
    children.push_back(std::make_unique<Child>([&, c] {
      for (int i = 0; i < kWrites; i++)
        if (set(path(c, i), std::to_string(c * i).c_str()) != TAMSEL_OK) return 1;
      return 0;
    }));
  }
  for (auto &child : children) EXPECT_EQ(child->wait(60000), 0);
  for (int c = 0; c < kChildren; c++)
    for (int i = 0; i < kWrites; i++) EXPECT_EQ(get(path(c, i)), std::to_string(c * i));
}

#else
TEST(TamselStoreTest, OnlyForTheBundledStandIn) { GTEST_SKIP(); }
#endif
