// Text forms of GValues: formatted strings both ways, plain text, comparison.
#include <locale.h>

#include <memory>

#include "common/ptz_raii.h"
#include "ptz_gvalue_utils.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

struct HeapValueDeleter {
  void operator()(GValue *v) const {
    if (G_IS_VALUE(v)) g_value_unset(v);
    g_free(v);
  }
};
using HeapValue = std::unique_ptr<GValue, HeapValueDeleter>;

struct Parsed {
  gboolean ok;
  std::string name;
  HeapValue value;
};

Parsed parse(const char *text) {
  gchar *name = nullptr;
  GValue *value = nullptr;
  gboolean ok = ptz_gvalue_utils_formatted_string_to_gvalue(text, &name, &value);
  Parsed out{ok, name ? name : "", HeapValue(value)};
  g_free(name);
  return out;
}

std::string format(const char *name, const GValue *value) {
  velmora::GCharPtr text(ptz_gvalue_utils_gvalue_to_formatted_string(name, value));
  return text ? text.get() : "(null)";
}

HeapValue make_int(gint v) {
  HeapValue value(g_new0(GValue, 1));
  g_value_set_int(g_value_init(value.get(), G_TYPE_INT), v);
  return value;
}

}  // namespace

TEST(FormattedString, TypeTokensAndAliases) {
  for (const char *text : {"zoom:int32:42", "zoom:int:42", "zoom:gint:42"}) {
    Parsed p = parse(text);
    ASSERT_TRUE(p.ok) << text;
    EXPECT_EQ(p.name, "zoom");
    ASSERT_TRUE(G_VALUE_HOLDS_INT(p.value.get()));
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
  // Numbers are read without error detection.
  EXPECT_EQ(g_value_get_int(parse("n:int32:12abc").value.get()), 12);
  EXPECT_EQ(g_value_get_int(parse("n:int32:").value.get()), 0);
}

TEST(FormattedString, OtherBooleanTextIsFalseAndLogged) {
  LogCapture log;
  Parsed p = parse("flag:boolean:yes");
  ASSERT_TRUE(p.ok);
  EXPECT_FALSE(g_value_get_boolean(p.value.get()));
  EXPECT_TRUE(log.contains(LOG_ERR, "should be boolean value, was \"yes\""));
  parse("flag:boolean:FALSE");
  EXPECT_EQ(log.lines().size(), 1u);
}

TEST(FormattedString, RejectedWithoutWritingOutputs) {
  GLibLogCapture criticals;
  struct Case {
    const char *text;
    const char *report;
  } cases[] = {
    {":int32:1", "vector[0][0] != '\\0' && vector[1][0] != '\\0'"},
    {"x::1", "vector[0][0] != '\\0' && vector[1][0] != '\\0'"},
    {"x:float:1", "'type != G_TYPE_NONE'"},
    {"x:void:1", "'type != G_TYPE_NONE'"},
    {"x", "vector[2] != NULL"},
    {"tilt:int32", "vector[2] != NULL"},
  };
  for (const Case &c : cases) {
    criticals.clear();
    gchar *name = (gchar *)"untouched";
    GValue sentinel = G_VALUE_INIT;
    GValue *value = &sentinel;
    EXPECT_FALSE(ptz_gvalue_utils_formatted_string_to_gvalue(c.text, &name, &value)) << c.text;
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(value, &sentinel);
    EXPECT_EQ(criticals.count_containing(c.report), 1u) << c.text;
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
  EXPECT_EQ(criticals.count_containing("ptz_gvalue_utils_formatted_string_to_gvalue: assertion 'string' failed"), 1u);
}

TEST(FormattedString, WrittenFormsReadBack) {
  GValue v = G_VALUE_INIT;
  g_value_set_boolean(g_value_init(&v, G_TYPE_BOOLEAN), TRUE);
  EXPECT_EQ(format("on", &v), "on:boolean:true");
  g_value_unset(&v);
  EXPECT_EQ(format("zoom", make_int(-7).get()), "zoom:int32:-7");
  g_value_set_string(g_value_init(&v, G_TYPE_STRING), "a:b");
  EXPECT_EQ(format("s", &v), "s:string:a:b");
  g_value_set_string(&v, nullptr);
  EXPECT_EQ(format("s", &v), "s:string:");
  g_value_unset(&v);
  g_value_set_double(g_value_init(&v, G_TYPE_DOUBLE), 1.5);
  EXPECT_EQ(format("x", &v), "x:double:1.500000");
  g_value_set_double(&v, -1e300);  // wider than any small fixed buffer
  std::string huge = format("x", &v);
  EXPECT_EQ(huge.size(), strlen("x:double:-1") + 300 + 7);
  EXPECT_EQ(g_value_get_double(parse(huge.c_str()).value.get()), -1e300);
  g_value_unset(&v);

  for (const char *text : {"on:boolean:false", "zoom:int32:2147483647", "s:string:x:y", "x:double:0.250000"}) {
    Parsed p = parse(text);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(format(p.name.c_str(), p.value.get()), text);
  }

  GLibLogCapture criticals;
  g_value_set_float(g_value_init(&v, G_TYPE_FLOAT), 1.f);
  EXPECT_EQ(format("f", &v), "(null)");
  EXPECT_EQ(criticals.count_containing("should not be reached"), 1u);
}

// Doubles are written with a point even where the locale's decimal separator
// is a comma, so a process reads back what it wrote.
TEST(FormattedString, DoublesIgnoreDecimalCommaLocale) {
  bool comma = false;
  for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
    if ((comma = setlocale(LC_NUMERIC, name) != nullptr)) break;
  TempDir dir;
  if (!comma) {
    std::string out = dir.file("de_DE.UTF-8");
    const gchar *argv[] = {"localedef", "-i", "de_DE", "-f", "UTF-8", out.c_str(), nullptr};
    gint status = -1;
    g_spawn_sync(nullptr, (gchar **)argv, nullptr,
                 GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
                 nullptr, nullptr, nullptr, nullptr, &status, nullptr);
    g_setenv("LOCPATH", dir.path().c_str(), TRUE);
    comma = setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  }
  if (!comma) GTEST_SKIP() << "no decimal-comma locale installed and localedef failed";

  char native[32];
  snprintf(native, sizeof native, "%f", 1.5);
  GValue v = G_VALUE_INIT;
  g_value_set_double(g_value_init(&v, G_TYPE_DOUBLE), 1.5);
  std::string written = format("x", &v);
  Parsed back = parse(written.c_str());
  setlocale(LC_NUMERIC, "C");

  ASSERT_STREQ(native, "1,500000") << "the locale in use has no decimal comma";
  EXPECT_EQ(written, "x:double:1.500000");
  EXPECT_EQ(g_value_get_double(back.value.get()), 1.5);
}

TEST(PlainText, FromAndToValues) {
  GValue v = G_VALUE_INIT;
  auto text = [](const GValue *value) {
    velmora::GCharPtr t(ptz_gvalue_utils_string_from_gvalue(value));
    return t ? std::string(t.get()) : std::string("(null)");
  };
  ASSERT_TRUE(ptz_gvalue_utils_gvalue_from_string("TRUE", PTZ_PARAMETER_BOOLEAN, &v));
  EXPECT_EQ(text(&v), "true");
  g_value_unset(&v);
  ASSERT_TRUE(ptz_gvalue_utils_gvalue_from_string("yes", PTZ_PARAMETER_BOOLEAN, &v));
  EXPECT_EQ(text(&v), "false");
  g_value_unset(&v);
  ASSERT_TRUE(ptz_gvalue_utils_gvalue_from_string("-12", PTZ_PARAMETER_INTEGER, &v));
  EXPECT_EQ(text(&v), "-12");
  g_value_unset(&v);
  for (PTZParameter kind : {PTZ_PARAMETER_CONSTANT, PTZ_PARAMETER_TEXT}) {
    ASSERT_TRUE(ptz_gvalue_utils_gvalue_from_string("a b", kind, &v));
    EXPECT_EQ(text(&v), "a b");
    g_value_unset(&v);
  }
  for (int kind : {0, 5, 6, 7, -1}) {
    memset(&v, 0xab, sizeof v);
    EXPECT_FALSE(ptz_gvalue_utils_gvalue_from_string("1", PTZParameter(kind), &v));
    EXPECT_EQ(G_VALUE_TYPE(&v), G_TYPE_INVALID);
  }
  // Missing text is no crash.
  ASSERT_TRUE(ptz_gvalue_utils_gvalue_from_string(nullptr, PTZ_PARAMETER_TEXT, &v));
  EXPECT_EQ(text(&v), "(null)");
  g_value_unset(&v);
  ASSERT_TRUE(ptz_gvalue_utils_gvalue_from_string(nullptr, PTZ_PARAMETER_BOOLEAN, &v));
  g_value_unset(&v);

  g_value_set_double(g_value_init(&v, G_TYPE_DOUBLE), 2.0);
  EXPECT_EQ(text(&v), "(null)");
  g_value_unset(&v);
  EXPECT_EQ(text(nullptr), "(null)");
}

TEST(Compare, SameTypesOnly) {
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(make_int(3).get(), make_int(5).get()), -1);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(make_int(5).get(), make_int(3).get()), 1);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(make_int(4).get(), make_int(4).get()), 0);

  GValue t = G_VALUE_INIT, f = G_VALUE_INIT, s = G_VALUE_INIT, n = G_VALUE_INIT;
  g_value_set_boolean(g_value_init(&t, G_TYPE_BOOLEAN), TRUE);
  g_value_init(&f, G_TYPE_BOOLEAN);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(&t, &f), 1);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(&f, &t), 1);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(&t, &t), 0);

  g_value_set_string(g_value_init(&s, G_TYPE_STRING), "abc");
  g_value_init(&n, G_TYPE_STRING);  // holds NULL
  EXPECT_GT(ptz_gvalue_utils_gvalue_cmp0(&s, &n), 0);
  EXPECT_LT(ptz_gvalue_utils_gvalue_cmp0(&n, &s), 0);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(&n, &n), 0);

  GLibLogCapture criticals;
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(make_int(1).get(), &s), -1);
  EXPECT_EQ(criticals.count_containing("'G_VALUE_TYPE (val2) == type'"), 1u);

  LogCapture log;
  GValue d = G_VALUE_INIT;
  g_value_set_double(g_value_init(&d, G_TYPE_DOUBLE), 1.0);
  EXPECT_EQ(ptz_gvalue_utils_gvalue_cmp0(&d, &d), -1);
  EXPECT_TRUE(log.contains(LOG_ERR, "ptz_gvalue_utils_gvalue_cmp0: Tried to compare unhandled type: 60"));
  for (GValue *v : {&t, &f, &s, &n, &d}) g_value_unset(v);
}
