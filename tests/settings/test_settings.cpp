// Typed queries on the settings store.

#include <cstring>

#include "settings_test.h"

namespace {

using namespace velmora::testing;
using Strings = std::vector<std::string>;

Strings keys(gchar **list) {
  if (list == nullptr) return {"<NULL>"};
  Strings result(list, list + g_strv_length(list));
  g_strfreev(list);
  return result;
}

class Queries : public ::testing::Test {
 protected:
  void SetUp() override {
    // Key-file escapes are resolved before quote stripping: \s is a leading
    // blank, \\ one backslash.
    std::string kf = dir.write(
        "settings.conf",
        "[Values]\nTrue=true\nTitle=True\nYes=yes\nY=Y\nOne=1\nOn=on\nFalse=false\nNo=no\nEmpty=\n"
        "Hex=0x10\nOctal=010\nBlank=\\s42\nTrailing=12abc\nText=abc\nMinus=-\n"
        "Max=2147483647\nOver=2147483648\nMin=-2147483648\nUnder=-2147483649\nHuge=99999999999999999999\n"
        "[Quotes]\nDouble=\"abc\"\nSingle='abc'\nMixed=\"abc'\nTab=\"a\\\\tb\"\nOctal=\"\\\\101\"\n"
        "Unquoted=a\\\\tb\nLone=\"\nEmpty=\"\"\nTrailingBackslash=\"abc\\\\\"\n"
        "[Foo]\nKey=foo\nN=7\n[Root.Foo]\nKey=capital\n"
        "[Channel]\nKey=base\n[Channel0]\nKey=zero\n[Channel2]\nPan=10\nTilt=20\n[Empty]\n"
        "[PTZ.Driver1]\nName=first\nCount=5\n");
    std::string st = dir.write("settings.cfg", "PTZ {\n  Driver2 {\n    Name = \"\\\"second\\\"\"\n  }\n}\n");
    ASSERT_TRUE(ptz_settings_load_config_gkf(FileList{{kf, TRUE}}, nullptr));
    ASSERT_TRUE(ptz_settings_load_config(FileList{{st, TRUE}}, nullptr));
  }

  TempDir dir;
};

TEST_F(Queries, Booleans) {
  for (const char *key : {"True", "Title", "Yes", "Y", "One", "On", "False", "No"}) {
    gboolean value = 7;
    EXPECT_TRUE(ptz_settings_get_custom_boolean("Values", key, &value)) << key;
    EXPECT_EQ(value, strchr("TYy", key[0]) != nullptr) << key;
  }
  // Empty, missing and empty-after-unquoting values fail and write nothing.
  const std::pair<const char *, const char *> failing[] = {
      {"Values", "Empty"}, {"Values", "Missing"}, {"Quotes", "Empty"}, {"Missing", "True"}};
  for (const auto &[group, key] : failing) {
    gboolean value = 7;
    EXPECT_FALSE(ptz_settings_get_boolean(group, -1, key, &value)) << key;
    EXPECT_EQ(value, 7) << key;
  }
}

TEST_F(Queries, Integers) {
  const std::pair<const char *, gint64> numbers[] = {
      {"Hex", 16}, {"Octal", 8}, {"Blank", 42}, {"Trailing", 12}, {"Max", G_MAXINT32},
      {"Min", G_MININT32}, {"Over", 2147483648LL}, {"Under", -2147483649LL}, {"Huge", G_MAXINT64}};
  for (const auto &[key, expected] : numbers) {
    gint64 wide = -5;
    EXPECT_TRUE(ptz_settings_get_custom_int64("Values", key, &wide)) << key;
    EXPECT_EQ(wide, expected) << key;
    gint narrow = -5;
    bool fits = expected >= G_MININT32 && expected <= G_MAXINT32;
    EXPECT_EQ(ptz_settings_get_int("Values", -1, key, &narrow), fits) << key;
    EXPECT_EQ(narrow, fits ? expected : -5) << key;
  }
  // No digits: the 64-bit getter leaves 0, the 32-bit one nothing; an empty
  // or missing value leaves both untouched.
  const std::pair<const char *, gint64> failing[] = {{"Text", 0}, {"Minus", 0}, {"Empty", -5}, {"Missing", -5}};
  for (const auto &[key, left] : failing) {
    gint64 wide = -5;
    EXPECT_FALSE(ptz_settings_get_int64("Values", -1, key, &wide)) << key;
    EXPECT_EQ(wide, left) << key;
    gint narrow = -5;
    EXPECT_FALSE(ptz_settings_get_custom_int("Values", key, &narrow)) << key;
    EXPECT_EQ(narrow, -5) << key;
  }
}

TEST_F(Queries, QuoteStripping) {
  GLibLogCapture glib;
  const std::pair<const char *, const char *> expected[] = {
      {"Double", "abc"}, {"Single", "abc"}, {"Mixed", "\"abc'"}, {"Tab", "a\tb"}, {"Octal", "A"},
      {"Unquoted", "a\\tb"}, {"Lone", "\""}, {"Empty", ""},
      // A lone backslash at the end of a quoted value is dropped quietly.
      {"TrailingBackslash", "abc"}};
  for (const auto &[key, text] : expected)
    EXPECT_EQ(take(ptz_settings_get_custom_string("Quotes", key)), text) << key;
  EXPECT_EQ(take(ptz_settings_get_string("PTZ.Driver", 2, "Name")), "second");
  EXPECT_EQ(glib.messages().size(), 0u);
}

TEST_F(Queries, GroupNamesPrefixesIndexesAndPaths) {
  EXPECT_EQ(take(ptz_settings_get_custom_string("root.Foo", "Key")), "foo");
  EXPECT_EQ(take(ptz_settings_get_string("ROOT.Foo", -1, "Key")), "foo");
  EXPECT_EQ(take(ptz_settings_get_custom_string("Root.Foo", "Key")), "capital");
  // Each layer removes one prefix: presence and listing one, the boolean,
  // 64-bit and string getters two, the 32-bit getters three.
  EXPECT_EQ(take(ptz_settings_get_string("root.ROOT.Foo", -1, "Key")), "foo");
  EXPECT_EQ(take(ptz_settings_get_vp("root.root.root.Foo.Key")), "<NULL>");
  EXPECT_FALSE(ptz_settings_has_custom_group("root.ROOT.Foo"));
  EXPECT_EQ(keys(ptz_settings_get_custom_group("root.root.Foo")), Strings{"<NULL>"});
  gint narrow = 0;
  EXPECT_TRUE(ptz_settings_get_custom_int("root.ROOT.root.Foo", "N", &narrow));
  EXPECT_EQ(narrow, 7);
  EXPECT_FALSE(ptz_settings_get_int("root.root.root.root.Foo", -1, "N", &narrow));

  EXPECT_EQ(take(ptz_settings_get_string("Channel", -1, "Key")), "base");
  EXPECT_EQ(take(ptz_settings_get_string("Channel", 0, "Key")), "zero");
  EXPECT_TRUE(ptz_settings_has_group("Channel", 0));
  EXPECT_FALSE(ptz_settings_has_group("Channel", 1));
  EXPECT_EQ(keys(ptz_settings_get_group("root.Channel", 2)), (Strings{"Pan", "Tilt"}));
  EXPECT_EQ(keys(ptz_settings_get_custom_group("Empty")), Strings{});

  EXPECT_EQ(take(ptz_settings_get_vp("root.PTZ.Driver%d.Name", 1)), "first");
  gint count = 3;
  EXPECT_TRUE(ptz_settings_get_int_vp(&count, "PTZ.Driver%d.%s", 1, "Count"));
  EXPECT_EQ(count, 5);
  // The empty key after a final dot; a path without any dot reads nothing.
  EXPECT_EQ(take(ptz_settings_get_vp("PTZ.Driver1.")), "<NULL>");
  EXPECT_EQ(take(ptz_settings_get_vp("%s", "NoDot")), "<NULL>");
  EXPECT_FALSE(ptz_settings_get_int_vp(&count, "NoDot"));
  EXPECT_EQ(count, 5);
}

struct Visit {
  Strings seen;
  size_t stop_after = 100;
};

gboolean record_visit(const gchar *name, const gchar *value, gpointer data) {
  auto *visit = static_cast<Visit *>(data);
  visit->seen.push_back(std::string(name) + "=" + (value ? value : "<NULL>"));
  g_free(ptz_settings_get_string("Channel", 2, "Pan"));  // queries from the callback are allowed
  return visit->seen.size() < visit->stop_after;
}

TEST_F(Queries, Iteration) {
  LogCapture log;
  Visit all, first_only{{}, 1}, none;
  EXPECT_TRUE(ptz_settings_iterate_group("Channel", 2, &all, record_visit));
  EXPECT_TRUE(ptz_settings_iterate_group("root.Channel", 2, &all, record_visit));
  EXPECT_EQ(all.seen, (Strings{"Channel2.Pan=10", "Channel2.Tilt=20", "root.Channel2.Pan=10",
                               "root.Channel2.Tilt=20"}));
  EXPECT_EQ(log.lines().size(), 0u);

  EXPECT_FALSE(ptz_settings_iterate_group("Channel", 2, &first_only, record_visit));
  EXPECT_EQ(first_only.seen.size(), 1u);
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_iterate_group: Error iterating parameter group Channel2"));

  EXPECT_FALSE(ptz_settings_iterate_group("Channel", 7, &none, record_visit));
  EXPECT_TRUE(ptz_settings_iterate_group("Empty", -1, &none, record_visit));
  EXPECT_EQ(none.seen.size(), 0u);
}

}  // namespace
