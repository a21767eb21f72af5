// Typed queries on the settings store.

#include <string>
#include <utility>
#include <vector>

#include "ptz_settings.h"
#include "velmora_test.h"

namespace {

using velmora::testing::GLibLogCapture;
using velmora::testing::LogCapture;
using velmora::testing::TempDir;

std::string str(gchar *value) {
  std::string result = value ? value : "<NULL>";
  g_free(value);
  return result;
}

std::vector<std::string> keys(gchar **list) {
  if (list == nullptr) return {"<NULL>"};
  std::vector<std::string> result(list, list + g_strv_length(list));
  g_strfreev(list);
  return result;
}

class Queries : public ::testing::Test {
 protected:
  void SetUp() override {
    // Key-file escapes are resolved first: \s is a leading blank, \\ one backslash.
    std::string kf = dir.write("settings.conf",
                               "[Values]\n"
                               "True=true\nTitle=True\nYes=yes\nY=Y\n"
                               "One=1\nOn=on\nFalse=false\nNo=no\nEmpty=\n"
                               "Hex=0x10\nOctal=010\nBlank=\\s42\nTrailing=12abc\nText=abc\n"
                               "Max=2147483647\nOver=2147483648\nMin=-2147483648\nUnder=-2147483649\n"
                               "Huge=99999999999999999999\nMinus=-\n"
                               "[Quotes]\n"
                               "Double=\"abc\"\nSingle='abc'\nMixed=\"abc'\nTab=\"a\\\\tb\"\n"
                               "Octal=\"\\\\101\"\nUnquotedEscape=a\\\\tb\nLoneQuote=\"\nEmptyQuoted=\"\"\n"
                               "TrailingBackslash=\"abc\\\\\"\n"
                               "[Foo]\nKey=foo\nN=7\n"
                               "[Root.Foo]\nKey=capital-root\n"
                               "[Channel]\nKey=base\n"
                               "[Channel0]\nKey=zero\n"
                               "[Channel2]\nPan=10\nTilt=20\n"
                               "[Empty]\n"
                               "[PTZ.Driver1]\nName=first\nCount=5\n");
    std::string st = dir.write("settings.cfg",
                               "PTZ {\n"
                               "  Driver2 {\n"
                               "    Name = second\n"
                               "  }\n"
                               "}\n"
                               "Parsed {\n"
                               "  Quoted = \"\\\"x y\\\"\"\n"
                               "}\n");
    PTZSettingsFile kf_files[] = {{kf.c_str(), TRUE}, {nullptr, FALSE}};
    PTZSettingsFile st_files[] = {{st.c_str(), TRUE}, {nullptr, FALSE}};
    ASSERT_TRUE(ptz_settings_load_config_gkf(kf_files, nullptr));
    ASSERT_TRUE(ptz_settings_load_config(st_files, nullptr));
  }

  TempDir dir;
};

TEST_F(Queries, Booleans) {
  for (const char *key : {"True", "Title", "Yes", "Y"}) {
    gboolean value = FALSE;
    EXPECT_TRUE(ptz_settings_get_custom_boolean("Values", key, &value)) << key;
    EXPECT_TRUE(value) << key;
  }
  for (const char *key : {"One", "On", "False", "No"}) {
    gboolean value = TRUE;
    EXPECT_TRUE(ptz_settings_get_boolean("Values", -1, key, &value)) << key;
    EXPECT_FALSE(value) << key;
  }
  const std::pair<const char *, const char *> failing[] = {
      {"Values", "Empty"}, {"Values", "Missing"}, {"Quotes", "EmptyQuoted"}, {"Missing", "True"}};
  for (const auto &[group, key] : failing) {
    gboolean value = 7;
    EXPECT_FALSE(ptz_settings_get_custom_boolean(group, key, &value)) << key;
    EXPECT_EQ(value, 7) << key;
  }
}

TEST_F(Queries, Integers) {
  const std::pair<const char *, gint64> good[] = {
      {"Hex", 16}, {"Octal", 8}, {"Blank", 42}, {"Trailing", 12}, {"Max", G_MAXINT32},
      {"Min", G_MININT32}, {"Over", 2147483648LL}, {"Under", -2147483649LL}, {"Huge", G_MAXINT64}};
  for (const auto &[key, expected] : good) {
    gint64 value = -5;
    EXPECT_TRUE(ptz_settings_get_custom_int64("Values", key, &value)) << key;
    EXPECT_EQ(value, expected) << key;
    gint narrow = -5;
    bool fits = expected >= G_MININT32 && expected <= G_MAXINT32;
    EXPECT_EQ(ptz_settings_get_int("Values", -1, key, &narrow), fits) << key;
    EXPECT_EQ(narrow, fits ? expected : -5) << key;
  }
  // A value without digits: the 64-bit getter leaves 0, the 32-bit one nothing.
  for (const char *key : {"Text", "Minus"}) {
    gint64 value = -5;
    EXPECT_FALSE(ptz_settings_get_int64("Values", -1, key, &value)) << key;
    EXPECT_EQ(value, 0) << key;
    gint narrow = -5;
    EXPECT_FALSE(ptz_settings_get_custom_int("Values", key, &narrow)) << key;
    EXPECT_EQ(narrow, -5) << key;
  }
  for (const char *key : {"Empty", "Missing"}) {
    gint64 value = -5;
    EXPECT_FALSE(ptz_settings_get_custom_int64("Values", key, &value)) << key;
    EXPECT_EQ(value, -5) << key;
  }
}

TEST_F(Queries, QuoteStripping) {
  GLibLogCapture glib;
  EXPECT_EQ(str(ptz_settings_get_custom_string("Quotes", "Double")), "abc");
  EXPECT_EQ(str(ptz_settings_get_custom_string("Quotes", "Single")), "abc");
  EXPECT_EQ(str(ptz_settings_get_custom_string("Quotes", "Mixed")), "\"abc'");
  EXPECT_EQ(str(ptz_settings_get_custom_string("Quotes", "Tab")), "a\tb");
  EXPECT_EQ(str(ptz_settings_get_custom_string("Quotes", "Octal")), "A");
  EXPECT_EQ(str(ptz_settings_get_custom_string("Quotes", "UnquotedEscape")), "a\\tb");
  EXPECT_EQ(str(ptz_settings_get_custom_string("Quotes", "LoneQuote")), "\"");
  EXPECT_EQ(str(ptz_settings_get_custom_string("Quotes", "EmptyQuoted")), "");
  // A lone backslash at the end of a quoted value is dropped quietly.
  EXPECT_EQ(str(ptz_settings_get_custom_string("Quotes", "TrailingBackslash")), "abc");
  EXPECT_EQ(str(ptz_settings_get_custom_string("Parsed", "Quoted")), "x y");
  EXPECT_EQ(glib.messages().size(), 0u);
}

TEST_F(Queries, GroupPrefixes) {
  EXPECT_EQ(str(ptz_settings_get_custom_string("root.Foo", "Key")), "foo");
  EXPECT_EQ(str(ptz_settings_get_string("ROOT.Foo", -1, "Key")), "foo");
  EXPECT_EQ(str(ptz_settings_get_custom_string("Root.Foo", "Key")), "capital-root");
  EXPECT_TRUE(ptz_settings_has_custom_group("ROOT.Foo"));

  // Each layer removes one prefix: presence and listing one, the boolean,
  // 64-bit and string getters two, the 32-bit getters three.
  EXPECT_EQ(str(ptz_settings_get_string("root.ROOT.Foo", -1, "Key")), "foo");
  EXPECT_FALSE(ptz_settings_has_custom_group("root.ROOT.Foo"));
  EXPECT_EQ(keys(ptz_settings_get_custom_group("root.root.Foo")), std::vector<std::string>{"<NULL>"});
  gint64 wide = 0;
  EXPECT_TRUE(ptz_settings_get_custom_int64("root.root.Foo", "N", &wide));
  EXPECT_FALSE(ptz_settings_get_custom_int64("root.root.root.Foo", "N", &wide));
  gint narrow = 0;
  EXPECT_TRUE(ptz_settings_get_custom_int("root.ROOT.root.Foo", "N", &narrow));
  EXPECT_EQ(narrow, 7);
  EXPECT_FALSE(ptz_settings_get_int("root.root.root.root.Foo", -1, "N", &narrow));
  EXPECT_TRUE(ptz_settings_get_int_vp(&narrow, "root.root.%s.Foo.N", "root"));
  EXPECT_EQ(str(ptz_settings_get_vp("root.root.Foo.%s", "Key")), "foo");
  EXPECT_EQ(str(ptz_settings_get_vp("root.root.root.Foo.%s", "Key")), "<NULL>");
}

TEST_F(Queries, GroupsAndIndexes) {
  EXPECT_TRUE(ptz_settings_has_group("Channel", -1));
  EXPECT_EQ(str(ptz_settings_get_string("Channel", -1, "Key")), "base");
  EXPECT_EQ(str(ptz_settings_get_string("Channel", 0, "Key")), "zero");
  EXPECT_FALSE(ptz_settings_has_group("Channel", 1));
  EXPECT_FALSE(ptz_settings_has_group(nullptr, 0));
  EXPECT_EQ(str(ptz_settings_get_string(nullptr, 0, "Key")), "<NULL>");
  EXPECT_EQ(str(ptz_settings_get_string("Channel", 0, nullptr)), "<NULL>");

  EXPECT_EQ(keys(ptz_settings_get_group("root.Channel", 2)), (std::vector<std::string>{"Pan", "Tilt"}));
  EXPECT_EQ(keys(ptz_settings_get_custom_group("Empty")), std::vector<std::string>{});
  EXPECT_EQ(keys(ptz_settings_get_custom_group("Missing")), std::vector<std::string>{"<NULL>"});
  // Groups of the parsed store, named by nesting.
  EXPECT_TRUE(ptz_settings_has_custom_group("PTZ.Driver2"));
}

TEST_F(Queries, PathForms) {
  EXPECT_EQ(str(ptz_settings_get_vp("root.PTZ.Driver%d.Name", 1)), "first");
  EXPECT_EQ(str(ptz_settings_get_vp("root.PTZ.Driver%d.Name", 2)), "second");
  gint count = 0;
  EXPECT_TRUE(ptz_settings_get_int_vp(&count, "PTZ.Driver%d.%s", 1, "Count"));
  EXPECT_EQ(count, 5);
  // The empty key after a final dot, and a path without any dot.
  EXPECT_EQ(str(ptz_settings_get_vp("PTZ.Driver1.")), "<NULL>");
  EXPECT_EQ(str(ptz_settings_get_vp("%s", "NoDot")), "<NULL>");
  count = 3;
  EXPECT_FALSE(ptz_settings_get_int_vp(&count, "NoDot"));
  EXPECT_EQ(count, 3);
}

TEST(QueriesDeathTest, PathFormatMustNotBeNull) {
  const char *format = nullptr;
  EXPECT_DEATH(g_free(ptz_settings_get_vp(format, 0)), "path_format != NULL");
}

struct Visit {
  std::vector<std::pair<std::string, std::string>> seen;
  size_t stop_after = 100;
};

gboolean record_visit(const gchar *name, const gchar *value, gpointer data) {
  auto *visit = static_cast<Visit *>(data);
  visit->seen.emplace_back(name, value ? value : "<NULL>");
  // Queries from inside the callback must not deadlock.
  g_free(ptz_settings_get_string("Channel", 2, "Pan"));
  return visit->seen.size() < visit->stop_after;
}

TEST_F(Queries, Iteration) {
  LogCapture log;
  Visit all;
  EXPECT_TRUE(ptz_settings_iterate_group("Channel", 2, &all, record_visit));
  EXPECT_EQ(all.seen, (std::vector<std::pair<std::string, std::string>>{{"Channel2.Pan", "10"},
                                                                        {"Channel2.Tilt", "20"}}));
  Visit prefixed;
  EXPECT_TRUE(ptz_settings_iterate_group("root.Channel", 2, &prefixed, record_visit));
  ASSERT_EQ(prefixed.seen.size(), 2u);
  EXPECT_EQ(prefixed.seen[0], (std::pair<std::string, std::string>{"root.Channel2.Pan", "10"}));
  EXPECT_EQ(log.lines().size(), 0u);

  Visit first_only;
  first_only.stop_after = 1;
  EXPECT_FALSE(ptz_settings_iterate_group("Channel", 2, &first_only, record_visit));
  EXPECT_EQ(first_only.seen.size(), 1u);
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_iterate_group: Error iterating parameter group Channel2"));

  Visit none;
  EXPECT_FALSE(ptz_settings_iterate_group("Channel", 7, &none, record_visit));
  EXPECT_TRUE(ptz_settings_iterate_group("Empty", -1, &none, record_visit));
  EXPECT_EQ(none.seen.size(), 0u);

  GLibLogCapture criticals;
  EXPECT_FALSE(ptz_settings_iterate_group(nullptr, 0, &none, record_visit));
  EXPECT_EQ(criticals.count_containing("group_name != NULL"), 1u);
}

// Each test runs in a process of its own, so this one sees the stores
// before any load.
TEST(QueriesBeforeLoading, BehaveAsIfNothingExisted) {
  gboolean flag = 5;
  gint number = 5;
  EXPECT_FALSE(ptz_settings_has_group("Any", -1));
  EXPECT_EQ(ptz_settings_get_custom_group("Any"), nullptr);
  EXPECT_FALSE(ptz_settings_get_custom_boolean("Any", "Key", &flag));
  EXPECT_FALSE(ptz_settings_get_custom_int("Any", "Key", &number));
  EXPECT_EQ(ptz_settings_get_vp("Any.Key"), nullptr);
  EXPECT_EQ(flag, 5);
  EXPECT_EQ(number, 5);
}

}  // namespace
