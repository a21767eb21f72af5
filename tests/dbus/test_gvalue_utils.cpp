// Text forms of GValues: formatted strings both ways, plain text, comparison.
#include <locale.h>

#include <memory>

#include "common/ptz_raii.h"
#include "ptz_gvalue_utils.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

struct ValueDeleter {
  void operator()(GValue *v) const {
    if (G_IS_VALUE(v)) g_value_unset(v);
    g_free(v);
  }
};
using Value = std::unique_ptr<GValue, ValueDeleter>;

Value make(GType type) {
  Value v(g_new0(GValue, 1));
  g_value_init(v.get(), type);
  return v;
}
Value make_int(gint i) {
  Value v = make(G_TYPE_INT);
  g_value_set_int(v.get(), i);
  return v;
}
Value make_string(const char *s) {
  Value v = make(G_TYPE_STRING);
  g_value_set_string(v.get(), s);
  return v;
}

struct Parsed {
  gboolean ok;
  std::string name;
  Value value;
};
Parsed parse(const char *text) {
  gchar *name = nullptr;
  GValue *value = nullptr;
  gboolean ok = ptz_gvalue_utils_formatted_string_to_gvalue(text, &name, &value);
  Parsed out{ok, name ? name : "", Value(value)};
  g_free(name);
  return out;
}

std::string text_of(gchar *owned) {
  std::string s = owned ? owned : "(null)";
  g_free(owned);
  return s;
}
std::string format(const char *name, const GValue *v) {
  return text_of(ptz_gvalue_utils_gvalue_to_formatted_string(name, v));
}

}  // namespace

TEST(FormattedString, TypeTokensAliasesAndValues) {
  for (const char *text : {"zoom:int32:42", "zoom:int:42", "zoom:gint:42", "zoom:int32:42abc"}) {
    Parsed p = parse(text);
    ASSERT_TRUE(p.ok && G_VALUE_HOLDS_INT(p.value.get())) << text;
    EXPECT_EQ(p.name, "zoom");
    EXPECT_EQ(g_value_get_int(p.value.get()), 42);
  }
  for (const char *text : {"flag:bool:TRUE", "flag:gboolean:true", "flag:boolean:True"}) {
    Parsed p = parse(text);
    ASSERT_TRUE(p.ok && G_VALUE_HOLDS_BOOLEAN(p.value.get())) << text;
    EXPECT_TRUE(g_value_get_boolean(p.value.get())) << text;
  }
  Parsed path = parse("path:gchararray:a:b:c");
  ASSERT_TRUE(path.ok && G_VALUE_HOLDS_STRING(path.value.get()));
  EXPECT_STREQ(g_value_get_string(path.value.get()), "a:b:c");
  Parsed x = parse("x:gdouble:1.5");
  ASSERT_TRUE(x.ok && G_VALUE_HOLDS_DOUBLE(x.value.get()));
  EXPECT_EQ(g_value_get_double(x.value.get()), 1.5);

  LogCapture log;
  Parsed yes = parse("flag:boolean:yes");
  ASSERT_TRUE(yes.ok);
  EXPECT_FALSE(g_value_get_boolean(yes.value.get()));
  parse("flag:boolean:FALSE");
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_TRUE(log.contains(LOG_ERR, "should be boolean value, was \"yes\""));
}

TEST(FormattedString, RejectedWithoutWritingOutputs) {
  GLibLogCapture criticals;
  const char *empty_field = "vector[0][0] != '\\0' && vector[1][0] != '\\0'";
  std::pair<const char *, const char *> cases[] = {
    {":int32:1", empty_field}, {"x::1", empty_field},
    {"x:float:1", "'type != G_TYPE_NONE'"}, {"x:void:1", "'type != G_TYPE_NONE'"},
    {"x", "vector[2] != NULL"}, {"tilt:int32", "vector[2] != NULL"},
  };
  for (auto [text, report] : cases) {
    criticals.clear();
    gchar *name = (gchar *)"untouched";
    GValue sentinel = G_VALUE_INIT;
    GValue *value = &sentinel;
    EXPECT_FALSE(ptz_gvalue_utils_formatted_string_to_gvalue(text, &name, &value)) << text;
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(value, &sentinel);
    EXPECT_EQ(criticals.count_containing(report), 1u) << text;
  }
  // A registered type that is not supported clears the value output.
  criticals.clear();
  gchar *name = nullptr;
  GValue sentinel = G_VALUE_INIT;
  GValue *value = &sentinel;
  EXPECT_FALSE(ptz_gvalue_utils_formatted_string_to_gvalue("x:gfloat:1", &name, &value));
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(criticals.count_containing("should not be reached"), 1u);
  EXPECT_FALSE(ptz_gvalue_utils_formatted_string_to_gvalue(nullptr, &name, &value));
  EXPECT_EQ(criticals.count_containing(
                "ptz_gvalue_utils_formatted_string_to_gvalue: assertion 'string' failed"), 1u);
}

TEST(FormattedString, WrittenFormsReadBack) {
  for (const char *text : {"on:boolean:false", "zoom:int32:-2147483648", "s:string:x:y",
                           "x:double:1.500000", "x:double:-0.250000"}) {
    Parsed p = parse(text);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(format(p.name.c_str(), p.value.get()), text);
  }
  EXPECT_EQ(format("s", make_string(nullptr).get()), "s:string:");
  // Wider than any small fixed buffer: 301 integer digits.
  Value huge = make(G_TYPE_DOUBLE);
  g_value_set_double(huge.get(), -1e300);
  std::string written = format("x", huge.get());
  EXPECT_EQ(written.size(), strlen("x:double:-1") + 300 + 7);
  EXPECT_EQ(g_value_get_double(parse(written.c_str()).value.get()), -1e300);

  GLibLogCapture criticals;
  EXPECT_EQ(format("f", make(G_TYPE_FLOAT).get()), "(null)");
  EXPECT_EQ(criticals.count_containing("should not be reached"), 1u);
}

// A process whose locale writes decimal commas reads back the doubles it wrote.
TEST(FormattedString, DoublesIgnoreDecimalCommaLocale) {
  bool comma = false;
  for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
    if ((comma = setlocale(LC_NUMERIC, name) != nullptr)) break;
  TempDir dir;
  if (!comma) {
    std::string out = dir.file("de_DE.UTF-8");
    const gchar *argv[] = {"localedef", "-i", "de_DE", "-f", "UTF-8", out.c_str(), nullptr};
    g_spawn_sync(nullptr, (gchar **)argv, nullptr,
                 GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    g_setenv("LOCPATH", dir.path().c_str(), TRUE);
    comma = setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  }
  if (!comma) GTEST_SKIP() << "no decimal-comma locale installed and localedef failed";

  char native[32];
  snprintf(native, sizeof native, "%f", 1.5);
  Value v = make(G_TYPE_DOUBLE);
  g_value_set_double(v.get(), 1.5);
  std::string written = format("x", v.get());
  Parsed back = parse(written.c_str());
  setlocale(LC_NUMERIC, "C");

  ASSERT_STREQ(native, "1,500000") << "the locale in use has no decimal comma";
  EXPECT_EQ(written, "x:double:1.500000");
  EXPECT_EQ(g_value_get_double(back.value.get()), 1.5);
}

TEST(PlainText, ByParameterKind) {
  std::tuple<const char *, PTZParameter, const char *> cases[] = {
    {"TRUE", PTZ_PARAMETER_BOOLEAN, "true"},  {"yes", PTZ_PARAMETER_BOOLEAN, "false"},
    {"-12", PTZ_PARAMETER_INTEGER, "-12"},    {"a b", PTZ_PARAMETER_CONSTANT, "a b"},
    {"a b", PTZ_PARAMETER_TEXT, "a b"},       {nullptr, PTZ_PARAMETER_TEXT, "(null)"},
    {nullptr, PTZ_PARAMETER_BOOLEAN, "false"},
  };
  for (auto [in, kind, out] : cases) {
    GValue v = G_VALUE_INIT;
    ASSERT_TRUE(ptz_gvalue_utils_gvalue_from_string(in, kind, &v));
    EXPECT_EQ(text_of(ptz_gvalue_utils_string_from_gvalue(&v)), out);
    g_value_unset(&v);
  }
  for (int kind : {0, 5, 6, 7, -1}) {
    GValue v;
    memset(&v, 0xab, sizeof v);
    EXPECT_FALSE(ptz_gvalue_utils_gvalue_from_string("1", PTZParameter(kind), &v));
    EXPECT_EQ(G_VALUE_TYPE(&v), G_TYPE_INVALID);
  }
  EXPECT_EQ(text_of(ptz_gvalue_utils_string_from_gvalue(make(G_TYPE_DOUBLE).get())), "(null)");
  EXPECT_EQ(text_of(ptz_gvalue_utils_string_from_gvalue(nullptr)), "(null)");
}

TEST(Compare, SameTypesOnly) {
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(make_int(3).get(), make_int(5).get()), -1);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(make_int(5).get(), make_int(3).get()), 1);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(make_int(4).get(), make_int(4).get()), 0);

  Value t = make(G_TYPE_BOOLEAN), f = make(G_TYPE_BOOLEAN);
  g_value_set_boolean(t.get(), TRUE);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(t.get(), f.get()), 1);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(f.get(), t.get()), 1);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(t.get(), t.get()), 0);

  Value s = make_string("abc"), none = make_string(nullptr);
  EXPECT_GT(ptz_gvalue_utils_gvalue_cmp0(s.get(), none.get()), 0);
  EXPECT_LT(ptz_gvalue_utils_gvalue_cmp0(none.get(), s.get()), 0);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(none.get(), none.get()), 0);

  GLibLogCapture criticals;
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(make_int(1).get(), s.get()), -1);
  EXPECT_EQ(criticals.count_containing("'G_VALUE_TYPE (val2) == type'"), 1u);
  LogCapture log;
  Value d = make(G_TYPE_DOUBLE);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(d.get(), d.get()), -1);
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_gvalue_utils_gvalue_cmp0: Tried to compare unhandled type: 60"));
}
