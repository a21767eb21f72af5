#include <cstdlib>
#include <string>
#include <vector>

#include "velmora_test.h"

#ifdef VELMORA_PLATFORM_BUNDLED
#include <tamsel.h>
#include <tamsel_testing.h>

using velmora::testing::Child;
using velmora::testing::TempDir;

namespace {

class TamselStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = dir_.file("sub/dir/params");
    setenv("TAMSEL_STORE", store_.c_str(), 1);
  }

  static gint set(const std::string &path, const std::string &value, guint32 mode = 9,
                  TamselOptions *given = nullptr) {
    TamselOptions options;
    cli_resetOptions(&options);
    options.mode = mode;
    gint err = -1;
    gint result = cli_setCustomParam(path.c_str(), value.c_str(), given ? given : &options, &err);
    EXPECT_EQ(result, err);
    return err;
  }
  static std::string get(const std::string &path, gint *err_out = nullptr) {
    TamselOptions options;
    cli_resetOptions(&options);
    gint err = -1;
    gchar *value = cli_getCustomParam(path.c_str(), &options, &err);
    if (err_out) *err_out = err;
    std::string out = err == TAMSEL_OK && value ? value : "<none>";
    if (err == TAMSEL_OK) g_free(value);
    return out;
  }

  TempDir dir_;
  std::string store_;
};

}  // namespace

TEST_F(TamselStoreTest, OptionsRecordChecks) {
  TamselOptions options;
  memset(&options, 0xA5, sizeof options);
  cli_resetOptions(&options);
  EXPECT_EQ(options.mode, guint32(TAMSEL_DEFAULT_MODE));
  EXPECT_EQ(options.opt_value, TAMSEL_DEFAULT_OPT_VALUE);

  TamselOptions not_reset{};
  not_reset.mode = 9;
  EXPECT_EQ(set("a", "v", 9, &not_reset), TAMSEL_ERR_OPTIONS);
  for (guint32 mode : {0u, 8u, 13u}) EXPECT_EQ(set("a", "v", mode), TAMSEL_ERR_MODE) << mode;
  for (guint32 mode = 9; mode <= 12; mode++) {
    EXPECT_EQ(set("a", std::to_string(mode), mode), TAMSEL_OK);
    TamselTestingWrite w{};
    ASSERT_TRUE(tamsel_testing_get_write(tamsel_testing_write_count() - 1, &w));
    EXPECT_EQ(w.mode, mode);
  }
  EXPECT_EQ(set("", "v"), TAMSEL_ERR_ARGUMENT);
  EXPECT_EQ(cli_setCustomParam("a", nullptr, &options, nullptr), TAMSEL_ERR_ARGUMENT);
}

TEST_F(TamselStoreTest, ValuesComeBackByteForByte) {
  const std::string latin1 = "caf\xE9 \xFF\x01", multi = "line1\nline2\tend";
  EXPECT_EQ(set("root.PTZ.L", latin1), TAMSEL_OK);
  EXPECT_EQ(set("root.PTZ.M", multi), TAMSEL_OK);
  EXPECT_EQ(set("root.PTZ.E", ""), TAMSEL_OK);
  EXPECT_EQ(get("root.PTZ.L"), latin1);
  EXPECT_EQ(get("root.PTZ.M"), multi);
  EXPECT_EQ(get("root.PTZ.E"), "");
  EXPECT_EQ(set("root.PTZ.L", "second"), TAMSEL_OK);
  EXPECT_EQ(get("root.PTZ.L"), "second");
  gint err = 0;
  EXPECT_EQ(get("root.PTZ.Nothing", &err), "<none>");
  EXPECT_EQ(err, TAMSEL_ERR_NOT_FOUND);
}

TEST_F(TamselStoreTest, DamagedStoreTailIsIgnored) {
  ASSERT_EQ(set("good", "1"), TAMSEL_OK);
  {
    FILE *f = fopen(store_.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    fputs("broken-path-without-value", f);
    fclose(f);
  }
  EXPECT_EQ(get("good"), "1");
  EXPECT_EQ(set("other", "2"), TAMSEL_OK);
  EXPECT_EQ(get("other"), "2");
  EXPECT_EQ(get("good"), "1");
}

// Writers in several processes at once lose no update: each one's
// read-modify-write of the store happens under the store lock.
TEST_F(TamselStoreTest, ConcurrentWritersInSeveralProcesses) {
  constexpr int kChildren = 4, kWrites = 40;
  std::vector<std::unique_ptr<Child>> children;
  for (int c = 0; c < kChildren; c++) {
    children.push_back(std::make_unique<Child>([c] {
      for (int i = 0; i < kWrites; i++)
        if (set("root.P" + std::to_string(c) + "." + std::to_string(i), std::to_string(c * i)) !=
            TAMSEL_OK)
          return 1;
      return 0;
    }));
  }
  for (auto &child : children) EXPECT_EQ(child->wait(60000), 0);
  for (int c = 0; c < kChildren; c++)
    for (int i = 0; i < kWrites; i++)
      EXPECT_EQ(get("root.P" + std::to_string(c) + "." + std::to_string(i)), std::to_string(c * i));
}

#else
TEST(TamselStoreTest, OnlyForTheBundledStandIn) { GTEST_SKIP(); }
#endif
