#include <cstdlib>
#include <string>

#include "common/ptz_raii.h"
#include "ptz_tamsel.h"
#include "velmora_test.h"

#ifdef VELMORA_PLATFORM_BUNDLED
#include <tamsel_testing.h>

using velmora::testing::LogCapture;

namespace {

// Every case gets a store of its own; `stored` reads it straight through the
// service client.
class TamselTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("TAMSEL_STORE", dir_.file("params").c_str(), 1); }

  static void store(const std::string &path, const std::string &value) {
    ASSERT_EQ(ptz_tamsel_set(path.c_str(), value.c_str(), FALSE, FALSE, FALSE, 0), 0);
  }
  static std::string stored(const std::string &path) {
    TamselOptions options;
    cli_resetOptions(&options);
    gint err = -1;
    velmora::GCharPtr value(cli_getCustomParam(path.c_str(), &options, &err));
    return err == 0 ? value.get() : "<none>";
  }
  static TamselTestingWrite last_write() {
    TamselTestingWrite w{};
    EXPECT_TRUE(tamsel_testing_get_write(tamsel_testing_write_count() - 1, &w));
    return w;
  }

  velmora::testing::TempDir dir_;
  LogCapture log_;
};

}  // namespace

TEST_F(TamselTest, IndexedWritesFollowTheirGrammarsWithin127Characters) {
  std::string fits(127 - 5, 's'), too_long(128 - 5, 's');  // after "G.P0."
  EXPECT_TRUE(ptz_tamsel_index_set("A.B", "P", 2, "S", "v1", TRUE, TRUE, 0));
  EXPECT_EQ(last_write().mode, 10u);
  EXPECT_EQ(stored("A.B.P2.S"), "v1");
  EXPECT_TRUE(ptz_tamsel_dyn_index_set("Group", 3, "Name", "v2", TRUE, FALSE, 0));
  EXPECT_EQ(last_write().mode, 12u);
  EXPECT_EQ(stored("root.PTZ.Group.G3.Name"), "v2");
  EXPECT_TRUE(ptz_tamsel_dyn_index_set("lens", G_MAXUINT32, "N", "v3", FALSE, TRUE, 0));
  EXPECT_EQ(last_write().mode, 9u);
  EXPECT_EQ(stored("root.PTZ.lens.l4294967295.N"), "v3");
  EXPECT_TRUE(ptz_tamsel_index_set("G", "P", 0, fits.c_str(), "v4", FALSE, FALSE, 0));
  EXPECT_EQ(stored("G.P0." + fits), "v4");

  // A path that does not fit, or a group name without a first letter, is
  // not written, silently.
  guint writes = tamsel_testing_write_count();
  EXPECT_FALSE(ptz_tamsel_index_set("G", "P", 0, too_long.c_str(), "v", FALSE, FALSE, 0));
  EXPECT_FALSE(ptz_tamsel_dyn_index_set(too_long.c_str(), 0, "N", "v", FALSE, FALSE, 0));
  EXPECT_FALSE(ptz_tamsel_dyn_index_set("", 1, "N", "v", FALSE, FALSE, 0));
  EXPECT_EQ(tamsel_testing_write_count(), writes);
  EXPECT_TRUE(log_.lines().empty());
}

// A read never uses a cut path: the cut one would name another parameter.
TEST_F(TamselTest, ReadsRefusePathsThatDoNotFit) {
  std::string cut(127, 'p'), whole = cut + "q";
  store(cut, "42");
  guint reads = tamsel_testing_read_count();
  gint32 number = 5;
  gboolean flag = TRUE;
  EXPECT_EQ(ptz_tamsel_get_vp("%s", whole.c_str()), nullptr);
  EXPECT_FALSE(ptz_tamsel_get_int(&number, "%s", whole.c_str()));
  EXPECT_FALSE(ptz_tamsel_get_bool(&flag, "%sq", cut.c_str()));
  EXPECT_EQ(number, 5);
  EXPECT_EQ(flag, TRUE);
  EXPECT_EQ(tamsel_testing_read_count(), reads);
  EXPECT_EQ(log_.count(LOG_ERR, "Failed to assemble path: " + cut + " from %s"), 2u);
  EXPECT_EQ(log_.count(LOG_ERR, "Failed to assemble path: " + cut + " from %sq"), 1u);
}

TEST_F(TamselTest, ReadsReturnUtf8ConvertingIso88591) {
  store("root.PTZ.Latin", "caf\xE9");
  store("root.PTZ.Utf8", "caf\xC3\xA9 \xE2\x82\xAC");
  velmora::GCharPtr latin(ptz_tamsel_get("root.PTZ.%s", "Latin"));
  velmora::GCharPtr utf8(ptz_tamsel_get_vp("root.%s.%s%d", "PTZ", "Utf", 8));
  EXPECT_STREQ(latin.get(), "caf\xC3\xA9");
  EXPECT_STREQ(utf8.get(), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(ptz_tamsel_get("root.PTZ.Missing"), nullptr);
}

// One table for both typed reads: an integer is one optionally signed decimal
// number that fits 32 bits, with blanks around it at most; a boolean is TRUE
// for exactly "true" and "yes".
TEST_F(TamselTest, TypedReads) {
  const struct {
    const char *text;
    bool is_int;
    gint32 number;
    gboolean flag;
  } cases[] = {{" 42\t\n", true, 42, FALSE},
               {"-7", true, -7, FALSE},
               {"+3", true, 3, FALSE},
               {"1", true, 1, FALSE},
               {"-2147483648", true, G_MININT32, FALSE},
               {"2147483648", false, 0, FALSE},
               {"42x", false, 0, FALSE},
               {"x42", false, 0, FALSE},
               {"", false, 0, FALSE},
               {"4 2", false, 0, FALSE},
               {"true", false, 0, TRUE},
               {"yes", false, 0, TRUE},
               {"True", false, 0, FALSE},
               {"YES", false, 0, FALSE},
               {"on", false, 0, FALSE}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    store("root.PTZ.V", c.text);
    log_.clear();
    gint32 number = 11;
    gboolean flag = 7;
    EXPECT_EQ(ptz_tamsel_get_int(&number, "root.PTZ.%s", "V"), gboolean(c.is_int));
    EXPECT_EQ(number, c.is_int ? c.number : 11);
    EXPECT_EQ(log_.count(LOG_ERR, std::string("Value ") + c.text + " of root.PTZ.V invalid"), c.is_int ? 0u : 1u);
    EXPECT_TRUE(ptz_tamsel_get_bool(&flag, "root.PTZ.V"));
    EXPECT_EQ(flag, c.flag);
  }
  // No value: FALSE, nothing changed, nothing logged.
  log_.clear();
  gint32 number = 11;
  gboolean flag = 7;
  EXPECT_FALSE(ptz_tamsel_get_int(&number, "root.PTZ.Missing"));
  EXPECT_FALSE(ptz_tamsel_get_bool(&flag, "root.PTZ.Missing"));
  EXPECT_EQ(number, 11);
  EXPECT_EQ(flag, 7);
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(TamselTest, WriteModesOptionsAndSync) {
  const struct {
    gboolean a, b, c;
    guint32 mode;
  } cases[] = {{TRUE, TRUE, TRUE, 10},  {TRUE, TRUE, FALSE, 12},  {TRUE, FALSE, TRUE, 11},
               {TRUE, FALSE, FALSE, 9}, {FALSE, TRUE, TRUE, 9},   {FALSE, TRUE, FALSE, 9},
               {FALSE, FALSE, TRUE, 9}, {FALSE, FALSE, FALSE, 9}, {2, 3, 4, 10}};
  for (const auto &c : cases) {
    EXPECT_EQ(ptz_tamsel_set("root.PTZ.M", "m", c.a, c.b, c.c, 0), 0);
    EXPECT_EQ(last_write().mode, c.mode) << c.a << c.b << c.c;
  }
  // opt_value reaches the service only when greater than 0.
  for (gint32 opt : {0, -1, 5}) {
    EXPECT_EQ(ptz_tamsel_set_vp(opt, 11, "v", "root.%s", "O"), 0);
    EXPECT_EQ(last_write().opt_value, opt > 0 ? opt : TAMSEL_DEFAULT_OPT_VALUE);
  }
  EXPECT_EQ(stored("root.O"), "v");
  // A complete path is written as given, never used as a format.
  EXPECT_EQ(ptz_tamsel_set("root.%s%d", "literal", FALSE, FALSE, FALSE, 0), 0);
  EXPECT_EQ(stored("root.%s%d"), "literal");
  EXPECT_TRUE(ptz_tamsel_sync(12));
  EXPECT_EQ(tamsel_testing_last_sync_mode(), 12u);
  EXPECT_FALSE(ptz_tamsel_sync(2));
  EXPECT_TRUE(log_.lines().empty());
}

// A failed write stands unless reading the parameter back shows the value.
TEST_F(TamselTest, FailedWriteIsCheckedByReadingBack) {
  store("root.PTZ.W", "old");
  tamsel_testing_fail_next_writes(1, TRUE);  // the service fails after storing
  EXPECT_EQ(ptz_tamsel_set_vp(0, 12, "new", "root.PTZ.%s", "W"), 0);
  EXPECT_TRUE(log_.lines().empty());

  tamsel_testing_fail_next_writes(1, FALSE);
  EXPECT_EQ(ptz_tamsel_set("root.PTZ.W", "newer", TRUE, TRUE, FALSE, 0), TAMSEL_ERR_REFUSED);
  EXPECT_EQ(stored("root.PTZ.W"), "new");
  EXPECT_TRUE(log_.contains(LOG_WARNING, "Could not set parameter root.PTZ.W to \"newer\", err = 6"));
  // Nothing to read back is no proof either.
  tamsel_testing_fail_next_writes(1, FALSE);
  EXPECT_FALSE(ptz_tamsel_index_set("G", "P", 1, "Fresh", "v", TRUE, TRUE, 0));
  EXPECT_TRUE(log_.contains(LOG_WARNING, "Could not set parameter G.P1.Fresh to \"v\", err = 6"));
  // The service's own error codes come back unchanged.
  EXPECT_EQ(ptz_tamsel_set_vp(0, 3, "w", "root.%s", "O"), TAMSEL_ERR_MODE);
  EXPECT_TRUE(log_.contains(LOG_WARNING, "Could not set parameter root.O to \"w\", err = 4"));
}

// A store that cannot be read is a failing service, logged as such, where a
// parameter without a value is silent; a failed write is reported once.
TEST_F(TamselTest, AFailingStoreIsNotAMissingValue) {
  std::string unusable = dir_.write("not-a-directory", "") + "/params";
  setenv("TAMSEL_STORE", unusable.c_str(), 1);
  gint32 number = 11;
  gboolean flag = 7;
  EXPECT_EQ(ptz_tamsel_get("root.PTZ.%s", "X"), nullptr);
  EXPECT_FALSE(ptz_tamsel_get_int(&number, "root.PTZ.X"));
  EXPECT_FALSE(ptz_tamsel_get_bool(&flag, "root.PTZ.X"));
  EXPECT_EQ(number, 11);
  EXPECT_EQ(flag, 7);
  EXPECT_EQ(log_.count(LOG_ERR, "Could not get parameter root.PTZ.X, err = 5"), 3u);
  EXPECT_EQ(ptz_tamsel_set("root.PTZ.X", "v", FALSE, FALSE, FALSE, 0), TAMSEL_ERR_STORE);
  EXPECT_EQ(log_.count(LOG_WARNING, "Could not set parameter root.PTZ.X to \"v\", err = 5"), 1u);
  EXPECT_EQ(log_.lines().size(), 4u);
}

#else
TEST(TamselTest, NeedsTheBundledParameterService) { GTEST_SKIP() << "writes would reach the device"; }
#endif
