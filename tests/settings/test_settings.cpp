// Typed queries on the settings store.

#include <cstring>
#include <optional>

#include "common/ptz_raii.h"
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

// A query's answer as text, or nothing when it found no value.
using Found = std::optional<std::string>;

Found yes(gboolean found) { return found ? Found("yes") : Found(); }

Found owned(gchar *text) { return text != nullptr ? Found(take(text)) : Found(); }

Found joined(gchar **list) {
  if (list == nullptr) return Found();
  velmora::GCharPtr text(g_strjoinv(",", list));
  g_strfreev(list);
  return Found(text.get());
}

// The answer of a typed getter, called with the arguments before its output.
template <typename T, typename Getter, typename... Args>
Found number(Getter getter, Args... args) {
  T value;
  return getter(args..., &value) ? Found(std::to_string(value)) : Found();
}

template <typename Getter, typename... Args>
Found truth(Getter getter, Args... args) {
  gboolean value;
  return getter(args..., &value) ? Found(value ? "TRUE" : "FALSE") : Found();
}

class Queries : public ::testing::Test {
 protected:
  void SetUp() override {
    // Key-file escapes are resolved before quote stripping: \s is a leading
    // blank, \\ one backslash.
    std::string kf =
        dir.write("settings.conf",
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
      {"Hex", 16},         {"Octal", 8},        {"Blank", 42},          {"Trailing", 12},
      {"Max", G_MAXINT32}, {"Min", G_MININT32}, {"Over", 2147483648LL}, {"Under", -2147483649LL},
      {"Huge", G_MAXINT64}};
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
      {"Double", "abc"},
      {"Single", "abc"},
      {"Mixed", "\"abc'"},
      {"Tab", "a\tb"},
      {"Octal", "A"},
      {"Unquoted", "a\\tb"},
      {"Lone", "\""},
      {"Empty", ""},
      // A lone backslash at the end of a quoted value is dropped quietly.
      {"TrailingBackslash", "abc"}};
  for (const auto &[key, text] : expected) EXPECT_EQ(take(ptz_settings_get_custom_string("Quotes", key)), text) << key;
  EXPECT_EQ(take(ptz_settings_get_string("PTZ.Driver", 2, "Name")), "second");
  EXPECT_EQ(glib.messages().size(), 0u);
}

// Every layer of a query removes one leading "root." or "ROOT.": presence and
// key listing one, the boolean, 64-bit and string getters two, the 32-bit
// getters three. Group Foo is asked for behind 0 to 4 prefixes of both
// spellings; a query finds it (with its value) behind as many as it strips.
TEST_F(Queries, PrefixesStrippedByEachQuery) {
  struct Query {
    const char *name;
    int strips;
    const char *found;
    Found (*ask)(const char *group);
  };
  static const Query queries[] = {
      {"has_group", 1, "yes", [](const char *g) { return yes(ptz_settings_has_group(g, -1)); }},
      {"has_custom_group", 1, "yes", [](const char *g) { return yes(ptz_settings_has_custom_group(g)); }},
      {"get_group", 1, "Key,N", [](const char *g) { return joined(ptz_settings_get_group(g, -1)); }},
      {"get_custom_group", 1, "Key,N", [](const char *g) { return joined(ptz_settings_get_custom_group(g)); }},
      {"get_boolean", 2, "FALSE", [](const char *g) { return truth(ptz_settings_get_boolean, g, -1, "Key"); }},
      {"get_custom_boolean", 2, "FALSE",
       [](const char *g) { return truth(ptz_settings_get_custom_boolean, g, "Key"); }},
      {"get_int64", 2, "7", [](const char *g) { return number<gint64>(ptz_settings_get_int64, g, -1, "N"); }},
      {"get_custom_int64", 2, "7", [](const char *g) { return number<gint64>(ptz_settings_get_custom_int64, g, "N"); }},
      {"get_string", 2, "foo", [](const char *g) { return owned(ptz_settings_get_string(g, -1, "Key")); }},
      {"get_custom_string", 2, "foo", [](const char *g) { return owned(ptz_settings_get_custom_string(g, "Key")); }},
      {"get_vp", 2, "foo", [](const char *g) { return owned(ptz_settings_get_vp("%s.Key", g)); }},
      {"get_int", 3, "7", [](const char *g) { return number<gint>(ptz_settings_get_int, g, -1, "N"); }},
      {"get_custom_int", 3, "7", [](const char *g) { return number<gint>(ptz_settings_get_custom_int, g, "N"); }},
      {"get_int_vp", 3, "7",
       [](const char *g) {
         gint value;
         return ptz_settings_get_int_vp(&value, "%s.N", g) ? Found(std::to_string(value)) : Found();
       }},
  };
  for (const Query &query : queries) {
    for (int spelling = 0; spelling < 2; spelling++) {
      for (int prefixes = 0; prefixes <= 4; prefixes++) {
        std::string group;
        for (int i = 0; i < prefixes; i++) group += (i + spelling) % 2 == 0 ? "root." : "ROOT.";
        group += "Foo";
        EXPECT_EQ(query.ask(group.c_str()), prefixes <= query.strips ? Found(query.found) : Found())
            << "ptz_settings_" << query.name << " on " << group;
      }
    }
  }
  // Another capitalisation is no prefix: Root.Foo is a group of its own.
  EXPECT_EQ(take(ptz_settings_get_custom_string("Root.Foo", "Key")), "capital");
}

TEST_F(Queries, IndexesAndPaths) {
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
  EXPECT_EQ(all.seen,
            (Strings{"Channel2.Pan=10", "Channel2.Tilt=20", "root.Channel2.Pan=10", "root.Channel2.Tilt=20"}));
  EXPECT_EQ(log.lines().size(), 0u);

  EXPECT_FALSE(ptz_settings_iterate_group("Channel", 2, &first_only, record_visit));
  EXPECT_EQ(first_only.seen.size(), 1u);
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_settings_iterate_group: Error iterating parameter group Channel2"));

  EXPECT_FALSE(ptz_settings_iterate_group("Channel", 7, &none, record_visit));
  EXPECT_TRUE(ptz_settings_iterate_group("Empty", -1, &none, record_visit));
  EXPECT_EQ(none.seen.size(), 0u);
}

}  // namespace
