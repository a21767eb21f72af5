// Formatted strings ("name:type:value") and plain value text on arbitrary
// bytes. A formatted string that reads must write back to text that reads
// again as the same name, type and value; plain text must read under every
// parameter kind. Malformed strings are refused with GLib criticals, as
// documented, so criticals are not findings here.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "ptz_gvalue_utils.h"

namespace {

void free_value(GValue *value) {
  g_value_unset(value);
  g_free(value);
}

bool same_value(const GValue *a, const GValue *b) {
  if (G_VALUE_TYPE(a) != G_VALUE_TYPE(b)) return false;
  if (G_VALUE_TYPE(a) == G_TYPE_DOUBLE) {
    const double x = g_value_get_double(a), y = g_value_get_double(b);
    return x == y || (std::isnan(x) && std::isnan(y));
  }
  return ptz_gvalue_utils_gvalue_cmp0(a, b) == 0;
}

void check_formatted(const std::string &text) {
  gchar *name = nullptr;
  GValue *value = nullptr;
  if (!ptz_gvalue_utils_formatted_string_to_gvalue(text.c_str(), &name, &value)) {
    FUZZ_CHECK(name == nullptr);
    return;
  }
  FUZZ_CHECK(name != nullptr && name[0] != '\0' && strchr(name, ':') == nullptr);
  FUZZ_CHECK(value != nullptr);
  FUZZ_CHECK(text.compare(0, strlen(name), name) == 0);

  // Written back, it reads as the same thing; a double only to six decimals,
  // so its text is what must stay the same from the second round on.
  gchar *written = ptz_gvalue_utils_gvalue_to_formatted_string(name, value);
  FUZZ_CHECK(written != nullptr);
  gchar *name2 = nullptr;
  GValue *value2 = nullptr;
  FUZZ_CHECK(ptz_gvalue_utils_formatted_string_to_gvalue(written, &name2, &value2));
  FUZZ_CHECK(strcmp(name, name2) == 0);
  if (G_VALUE_TYPE(value) == G_TYPE_DOUBLE) {
    FUZZ_CHECK(G_VALUE_TYPE(value2) == G_TYPE_DOUBLE);
    gchar *again = ptz_gvalue_utils_gvalue_to_formatted_string(name2, value2);
    FUZZ_CHECK(strcmp(written, again) == 0);
    g_free(again);
  } else {
    FUZZ_CHECK(same_value(value, value2));
  }

  // The plain text of the value reads back under the matching kind.
  if (gchar *plain = ptz_gvalue_utils_string_from_gvalue(value)) {
    const GType type = G_VALUE_TYPE(value);
    const PTZParameter kind = type == G_TYPE_BOOLEAN ? PTZ_PARAMETER_BOOLEAN
                              : type == G_TYPE_INT   ? PTZ_PARAMETER_INTEGER
                                                     : PTZ_PARAMETER_TEXT;
    GValue parsed;
    FUZZ_CHECK(ptz_gvalue_utils_gvalue_from_string(plain, kind, &parsed));
    FUZZ_CHECK(same_value(value, &parsed));
    g_value_unset(&parsed);
    g_free(plain);
  } else {
    FUZZ_CHECK(G_VALUE_TYPE(value) == G_TYPE_DOUBLE);
  }

  g_free(written);
  g_free(name2);
  free_value(value2);
  g_free(name);
  free_value(value);
}

// Plain text under every kind, in and out of range.
void check_plain(const std::string &text) {
  // 7 is past the last kind yet still a value of the enumeration in C++.
  for (int kind = 0; kind <= PTZ_PARAMETER_CONSTANT_BOOLEAN + 1; kind++) {
    GValue value;
    if (!ptz_gvalue_utils_gvalue_from_string(text.c_str(), PTZParameter(kind), &value)) {
      FUZZ_CHECK(!G_IS_VALUE(&value));
      continue;
    }
    g_free(ptz_gvalue_utils_string_from_gvalue(&value));
    FUZZ_CHECK(ptz_gvalue_utils_gvalue_cmp0(&value, &value) == 0);
    g_value_unset(&value);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static velmora::fuzz::Session session(false);
  session.next_run();
  // The text ends at the first NUL, as it would for a C caller.
  const std::string text(reinterpret_cast<const char *>(data), strnlen(reinterpret_cast<const char *>(data), size));
  check_formatted(text);
  check_plain(text);
  return 0;
}
