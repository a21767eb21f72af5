// Text forms of GValues: formatted strings both ways, plain text, comparison.
#include <locale.h>

#include <memory>

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

Value make(GType type) { return Value(g_value_init(g_new0(GValue, 1), type)); }

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
// A value made from its formatted string.
Value value_of(const char *text) { return parse(text).value; }

std::string text_of(gchar *owned) {
  std::string s = owned ? owned : "(null)";
  g_free(owned);
  return s;
}
std::string format(const char *name, const GValue *v) {
  return text_of(ptz_gvalue_utils_gvalue_to_formatted_string(name, v));
}

}  // namespace

// Every type token and alias, read and written back in the canonical form
// (which names the type that was read).
TEST(FormattedString, ReadAndWrittenBack) {
  LogCapture log;
  const std::pair<const char *, const char *> cases[] = {
      {"zoom:int32:42", "zoom:int32:42"},
      {"zoom:int:42", "zoom:int32:42"},
      {"zoom:gint:42abc", "zoom:int32:42"},
      {"zoom:int32:-2147483648", "zoom:int32:-2147483648"},
      {"flag:bool:TRUE", "flag:boolean:true"},
      {"flag:gboolean:true", "flag:boolean:true"},
      {"flag:boolean:FALSE", "flag:boolean:false"},
      {"flag:boolean:yes", "flag:boolean:false"},  // logged below
      {"path:gchararray:a:b:c", "path:string:a:b:c"},
      {"s:string:", "s:string:"},
      {"x:gdouble:1.5", "x:double:1.500000"},
      {"x:double:-0.25", "x:double:-0.250000"},
  };
  for (const auto &[text, written] : cases) {
    Parsed p = parse(text);
    ASSERT_TRUE(p.ok) << text;
    EXPECT_EQ(format(p.name.c_str(), p.value.get()), written) << text;
  }
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_TRUE(log.contains(LOG_ERR, "should be boolean value, was \"yes\""));

  EXPECT_EQ(format("s", make(G_TYPE_STRING).get()), "s:string:");  // a string value holding NULL
  // Wider than any small fixed buffer: 301 integer digits.
  Value huge = make(G_TYPE_DOUBLE);
  g_value_set_double(huge.get(), -1e300);
  std::string written = format("x", huge.get());
  EXPECT_EQ(written.size(), strlen("x:double:-1") + 300 + 7);
  EXPECT_EQ(g_value_get_double(value_of(written.c_str()).get()), -1e300);

  GLibLogCapture criticals;
  EXPECT_EQ(format("f", make(G_TYPE_FLOAT).get()), "(null)");
  EXPECT_EQ(criticals.count_containing("should not be reached"), 1u);
}

// Rejected strings write neither output, except that a registered type that
// is not supported clears the value output.
TEST(FormattedString, RejectedWithoutWritingOutputs) {
  GLibLogCapture criticals;
  const char *empty_field = "vector[0][0] != '\\0' && vector[1][0] != '\\0'";
  const std::tuple<const char *, const char *, bool> cases[] = {
      {":int32:1", empty_field, false},
      {"x::1", empty_field, false},
      {"x:float:1", "'type != G_TYPE_NONE'", false},
      {"x:void:1", "'type != G_TYPE_NONE'", false},
      {"x:gfloat:1", "should not be reached", true},
      {"x", "vector[2] != NULL", false},
      {"tilt:int32", "vector[2] != NULL", false},
      {nullptr, "ptz_gvalue_utils_formatted_string_to_gvalue: assertion 'string' failed", false},
  };
  for (const auto &[text, report, clears_value] : cases) {
    SCOPED_TRACE(text ? text : "NULL");
    criticals.clear();
    gchar *name = (gchar *)"untouched";
    GValue sentinel = G_VALUE_INIT;
    GValue *value = &sentinel;
    EXPECT_FALSE(ptz_gvalue_utils_formatted_string_to_gvalue(text, &name, &value));
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(value, clears_value ? nullptr : &sentinel);
    EXPECT_EQ(criticals.count_containing(report), 1u);
  }
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
                 GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
                 nullptr, nullptr, nullptr, nullptr, nullptr);
    g_setenv("LOCPATH", dir.path().c_str(), TRUE);
    comma = setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  }
  if (!comma) GTEST_SKIP() << "no decimal-comma locale installed and localedef failed";

  char native[32];
  snprintf(native, sizeof native, "%f", 1.5);
  std::string written = format("x", value_of("x:double:1.5").get());
  double back = g_value_get_double(value_of(written.c_str()).get());
  setlocale(LC_NUMERIC, "C");
  ASSERT_STREQ(native, "1,500000") << "the locale in use has no decimal comma";
  EXPECT_EQ(written, "x:double:1.500000");
  EXPECT_EQ(back, 1.5);
}

TEST(PlainText, ByParameterKind) {
  const std::tuple<const char *, PTZParameter, const char *> cases[] = {
      {"TRUE", PTZ_PARAMETER_BOOLEAN, "true"},   {"yes", PTZ_PARAMETER_BOOLEAN, "false"},
      {"-12", PTZ_PARAMETER_INTEGER, "-12"},     {"a b", PTZ_PARAMETER_CONSTANT, "a b"},
      {"a b", PTZ_PARAMETER_TEXT, "a b"},        {nullptr, PTZ_PARAMETER_TEXT, "(null)"},
      {nullptr, PTZ_PARAMETER_BOOLEAN, "false"},
  };
  for (const auto &[in, kind, out] : cases) {
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
  auto cmp = [](const Value &a, const Value &b) { return ptz_gvalue_utils_gvalue_cmp0(a.get(), b.get()); };
  Value three = value_of("n:int:3"), five = value_of("n:int:5");
  EXPECT_EQ(cmp(three, five), -1);
  EXPECT_EQ(cmp(five, three), 1);
  EXPECT_EQ(cmp(five, five), 0);
  Value t = value_of("b:bool:true"), f = value_of("b:bool:false");
  EXPECT_EQ(cmp(t, f), 1);
  EXPECT_EQ(cmp(f, t), 1);
  EXPECT_EQ(cmp(t, t), 0);
  Value s = value_of("s:string:abc"), none = make(G_TYPE_STRING);
  EXPECT_GT(cmp(s, none), 0);
  EXPECT_LT(cmp(none, s), 0);
  EXPECT_EQ(cmp(none, none), 0);

  GLibLogCapture criticals;
  EXPECT_EQ(cmp(three, s), -1);
  EXPECT_EQ(criticals.count_containing("'G_VALUE_TYPE (val2) == type'"), 1u);
  LogCapture log;
  Value d = make(G_TYPE_DOUBLE);
  EXPECT_EQ(cmp(d, d), -1);
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_gvalue_utils_gvalue_cmp0: Tried to compare unhandled type: 60"));
}
