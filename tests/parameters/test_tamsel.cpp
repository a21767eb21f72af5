#include <cstdlib>
#include <string>

#include "ptz_tamsel.h"
#include "velmora_test.h"

#ifdef VELMORA_PLATFORM_BUNDLED
#include <tamsel_testing.h>

using velmora::testing::LogCapture;
using velmora::testing::TempDir;

namespace {

// Every case gets a store of its own.
class TamselTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("TAMSEL_STORE", dir_.file("params").c_str(), 1); }

  static void store(const std::string &path, const std::string &value) {
    TamselOptions options;
    cli_resetOptions(&options);
    options.mode = 9;
    gint err = -1;
    cli_setCustomParam(path.c_str(), value.c_str(), &options, &err);
    ASSERT_EQ(err, TAMSEL_OK);
  }
  static std::string stored(const std::string &path) {
    TamselOptions options;
    cli_resetOptions(&options);
    gint err = -1;
    gchar *value = cli_getCustomParam(path.c_str(), &options, &err);
    std::string out = err == 0 ? value : "<none>";
    if (err == 0) g_free(value);
    return out;
  }
  static TamselTestingWrite last_write() {
    TamselTestingWrite w{};
    EXPECT_TRUE(tamsel_testing_get_write(tamsel_testing_write_count() - 1, &w));
    return w;
  }

  TempDir dir_;
};

std::string get(const char *path) {
  gchar *v = ptz_tamsel_get("%s", path);
  std::string out = v ? v : "<null>";
  g_free(v);
  return out;
}

}  // namespace

TEST_F(TamselTest, IndexedPathGrammars) {
  EXPECT_TRUE(ptz_tamsel_index_set("A.B", "P", 2, "S", "v1", TRUE, TRUE, 0));
  EXPECT_EQ(stored("A.B.P2.S"), "v1");
  EXPECT_TRUE(ptz_tamsel_dyn_index_set("Group", 3, "Name", "v2", FALSE, FALSE, 0));
  EXPECT_EQ(stored("root.PTZ.Group.G3.Name"), "v2");
  EXPECT_TRUE(ptz_tamsel_dyn_index_set("lens", 4294967295u, "N", "v3", FALSE, FALSE, 0));
  EXPECT_EQ(stored("root.PTZ.lens.l4294967295.N"), "v3");
  // An empty group name has no first letter: nothing is written.
  guint writes = tamsel_testing_write_count();
  EXPECT_FALSE(ptz_tamsel_dyn_index_set("", 1, "N", "v", FALSE, FALSE, 0));
  EXPECT_EQ(tamsel_testing_write_count(), writes);
}

TEST_F(TamselTest, IndexedWriteRefusesPathsLongerThan127Characters) {
  LogCapture log;
  // "G.P0.<suffix>" with the suffix filling up to 127 and then 128 characters.
  std::string fits(127 - 5, 's'), too_long(128 - 5, 's');
  EXPECT_TRUE(ptz_tamsel_index_set("G", "P", 0, fits.c_str(), "v", FALSE, FALSE, 0));
  EXPECT_EQ(stored("G.P0." + fits), "v");
  guint writes = tamsel_testing_write_count();
  EXPECT_FALSE(ptz_tamsel_index_set("G", "P", 0, too_long.c_str(), "v", FALSE, FALSE, 0));
  EXPECT_FALSE(ptz_tamsel_dyn_index_set(too_long.c_str(), 0, "N", "v", FALSE, FALSE, 0));
  EXPECT_EQ(tamsel_testing_write_count(), writes);
  EXPECT_TRUE(log.lines().empty());
}

// A read never uses a cut path: the cut one would name another parameter.
TEST_F(TamselTest, ReadsRefusePathsThatDoNotFit) {
  std::string cut(127, 'p'), whole = cut + "q";
  store(cut, "42");
  LogCapture log;
  guint reads = tamsel_testing_read_count();
  EXPECT_EQ(ptz_tamsel_get_vp("%s", whole.c_str()), nullptr);
  gint32 number = 5;
  EXPECT_FALSE(ptz_tamsel_get_int(&number, "%s", whole.c_str()));
  gboolean flag = TRUE;
  EXPECT_FALSE(ptz_tamsel_get_bool(&flag, "%sq", cut.c_str()));
  EXPECT_EQ(number, 5);
  EXPECT_EQ(flag, TRUE);
  EXPECT_EQ(tamsel_testing_read_count(), reads);
  EXPECT_EQ(log.count(LOG_ERR, "Failed to assemble path: " + cut + " from %s"), 2u);
  EXPECT_EQ(log.count(LOG_ERR, "Failed to assemble path: " + cut + " from %sq"), 1u);
  EXPECT_EQ(get(cut.c_str()), "42");
}

TEST_F(TamselTest, ReadsReturnUtf8ConvertingIso88591) {
  store("root.PTZ.Latin", "caf\xE9");
  store("root.PTZ.Utf8", "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(get("root.PTZ.Latin"), "caf\xC3\xA9");
  EXPECT_EQ(get("root.PTZ.Utf8"), "caf\xC3\xA9 \xE2\x82\xAC");
  gchar *formatted = ptz_tamsel_get_vp("root.%s.%s%d", "PTZ", "Lat", 0);
  EXPECT_EQ(formatted, nullptr);
  store("root.PTZ.Lat0", "x");
  formatted = ptz_tamsel_get_vp("root.%s.%s%d", "PTZ", "Lat", 0);
  EXPECT_STREQ(formatted, "x");
  g_free(formatted);
}

TEST_F(TamselTest, IntegerReadsAcceptOnlyOneDecimalNumber) {
  const std::pair<const char *, gint32> good[] = {
      {"42", 42}, {"  42", 42}, {"42 \t\n", 42}, {"-7", -7}, {"+3", 3}, {"-2147483648", G_MININT32}};
  for (const auto &[text, expected] : good) {
    store("root.PTZ.N", text);
    gint32 value = 0;
    EXPECT_TRUE(ptz_tamsel_get_int(&value, "root.PTZ.%s", "N")) << text;
    EXPECT_EQ(value, expected) << text;
  }
  LogCapture log;
  for (const char *text : {"42x", "x42", "", "4 2", "- 4", "2147483648", "99999999999"}) {
    store("root.PTZ.N", text);
    gint32 value = 11;
    EXPECT_FALSE(ptz_tamsel_get_int(&value, "root.PTZ.%s", "N")) << text;
    EXPECT_EQ(value, 11) << text;
    EXPECT_EQ(log.count(LOG_ERR, std::string("Value ") + text + " of root.PTZ.N invalid"), 1u)
        << text;
  }
  log.clear();
  gint32 value = 11;
  EXPECT_FALSE(ptz_tamsel_get_int(&value, "root.PTZ.Missing"));
  EXPECT_FALSE(ptz_tamsel_get_int(&value, "%s", ""));
  EXPECT_EQ(value, 11);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(TamselTest, BooleanReadsAreTrueOnlyForTrueAndYes) {
  for (const char *text : {"true", "yes"}) {
    store("root.PTZ.B", text);
    gboolean value = FALSE;
    EXPECT_TRUE(ptz_tamsel_get_bool(&value, "root.PTZ.B"));
    EXPECT_TRUE(value) << text;
  }
  for (const char *text : {"True", "YES", "1", "on", ""}) {
    store("root.PTZ.B", text);
    gboolean value = TRUE;
    EXPECT_TRUE(ptz_tamsel_get_bool(&value, "root.PTZ.B"));
    EXPECT_FALSE(value) << text;
  }
  gboolean value = 7;
  EXPECT_FALSE(ptz_tamsel_get_bool(&value, "root.PTZ.Missing"));
  EXPECT_EQ(value, 7);
}

TEST_F(TamselTest, WriteModesFromTheSwitches) {
  struct Case {
    gboolean a, b, c;
    guint32 mode;
  };
  const Case cases[] = {{TRUE, TRUE, TRUE, 10},  {TRUE, TRUE, FALSE, 12},  {TRUE, FALSE, TRUE, 11},
                        {TRUE, FALSE, FALSE, 9}, {FALSE, TRUE, TRUE, 9},   {FALSE, TRUE, FALSE, 9},
                        {FALSE, FALSE, TRUE, 9}, {FALSE, FALSE, FALSE, 9}, {2, 3, 4, 10}};
  for (const Case &c : cases) {
    EXPECT_EQ(ptz_tamsel_set("root.PTZ.M", "m", c.a, c.b, c.c, 0), 0);
    EXPECT_EQ(last_write().mode, c.mode) << c.a << c.b << c.c;
  }
  EXPECT_TRUE(ptz_tamsel_index_set("G", "P", 1, "S", "v", TRUE, TRUE, 0));
  EXPECT_EQ(last_write().mode, 10u);
  EXPECT_TRUE(ptz_tamsel_dyn_index_set("G", 1, "S", "v", TRUE, FALSE, 0));
  EXPECT_EQ(last_write().mode, 12u);
  EXPECT_TRUE(ptz_tamsel_index_set("G", "P", 1, "S", "v", FALSE, TRUE, 0));
  EXPECT_EQ(last_write().mode, 9u);

  // opt_value reaches the service only when greater than 0.
  for (gint32 opt : {0, -1}) {
    EXPECT_EQ(ptz_tamsel_set_vp(opt, 11, "v", "root.%s", "O"), 0);
    EXPECT_EQ(last_write().opt_value, TAMSEL_DEFAULT_OPT_VALUE);
  }
  EXPECT_EQ(ptz_tamsel_set_vp(5, 11, "v", "root.%s", "O"), 0);
  EXPECT_EQ(last_write().opt_value, 5);
  EXPECT_EQ(last_write().mode, 11u);
  EXPECT_EQ(stored("root.O"), "v");
  // A complete path is written as given, never used as a format.
  EXPECT_EQ(ptz_tamsel_set("root.%s%d", "literal", FALSE, FALSE, FALSE, 0), 0);
  EXPECT_EQ(stored("root.%s%d"), "literal");
  // The service's own error codes come back unchanged.
  LogCapture log;
  EXPECT_EQ(ptz_tamsel_set_vp(0, 3, "w", "root.%s", "O"), TAMSEL_ERR_MODE);
  EXPECT_TRUE(log.contains(LOG_WARNING, "Could not set parameter root.O to \"w\", err = 4"));
}

TEST_F(TamselTest, FailedWriteIsCheckedByReadingBack) {
  store("root.PTZ.W", "old");
  LogCapture log;
  // The service fails after storing: the read-back proves the write.
  tamsel_testing_fail_next_writes(1, TRUE);
  EXPECT_EQ(ptz_tamsel_set_vp(0, 12, "new", "root.PTZ.%s", "W"), 0);
  EXPECT_EQ(stored("root.PTZ.W"), "new");
  EXPECT_TRUE(log.lines().empty());

  // The value did not arrive: the failure stands.
  tamsel_testing_fail_next_writes(1, FALSE);
  EXPECT_EQ(ptz_tamsel_set("root.PTZ.W", "newer", TRUE, TRUE, FALSE, 0), TAMSEL_ERR_REFUSED);
  EXPECT_EQ(stored("root.PTZ.W"), "new");
  EXPECT_TRUE(log.contains(LOG_WARNING,
                           "Could not set parameter root.PTZ.W to \"newer\", err = 6"));

  // Nothing to read back is no proof either.
  tamsel_testing_fail_next_writes(1, FALSE);
  EXPECT_FALSE(ptz_tamsel_index_set("G", "P", 1, "Fresh", "v", TRUE, TRUE, 0));
  EXPECT_EQ(stored("G.P1.Fresh"), "<none>");
  EXPECT_TRUE(log.contains(LOG_WARNING, "Could not set parameter G.P1.Fresh to \"v\", err = 6"));
}

TEST_F(TamselTest, SyncPassesTheMode) {
  EXPECT_TRUE(ptz_tamsel_sync(12));
  EXPECT_EQ(tamsel_testing_last_sync_mode(), 12u);
  EXPECT_FALSE(ptz_tamsel_sync(2));
  EXPECT_EQ(tamsel_testing_last_sync_mode(), 12u);
}

TEST(TamselDeathTest, MissingArgumentsAreProgrammingErrors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(ptz_tamsel_index_set(nullptr, "P", 0, "S", "v", FALSE, FALSE, 0), "grp_name != NULL");
  EXPECT_DEATH(ptz_tamsel_dyn_index_set("G", 0, nullptr, "v", FALSE, FALSE, 0), "par_name != NULL");
  EXPECT_DEATH(ptz_tamsel_set_vp(0, 9, nullptr, "root.x"), "val");
  EXPECT_DEATH(ptz_tamsel_get_int(nullptr, "root.x"), "valp");
}

#else
TEST(TamselTest, NeedsTheBundledParameterService) { GTEST_SKIP() << "writes would reach the device"; }
#endif
