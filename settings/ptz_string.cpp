// CamelCase to separated lower-case names.
#include "ptz_string.h"

namespace {

// One fixed allocation per name; conversion stops once this many result
// characters exist, so a separator and a letter still fit before the NUL.
constexpr gsize kResultSize = 50;
constexpr gsize kResultLimit = 48;

}  // namespace

extern "C" gchar *CamelCase2token(const gchar *CamelCase, gchar token) {
  g_assert(CamelCase != NULL);
  gchar *result = static_cast<gchar *>(g_malloc(kResultSize));
  gsize out = 0;
  if (CamelCase[0] != '\0') {
    result[out++] = g_ascii_tolower(CamelCase[0]);
    for (gsize in = 1; CamelCase[in] != '\0' && out < kResultLimit; in++) {
      gchar c = CamelCase[in];
      if (g_ascii_isupper(c) && g_ascii_islower(CamelCase[in - 1])) result[out++] = token;
      result[out++] = g_ascii_tolower(c);
    }
  }
  result[out] = '\0';
  return result;
}

extern "C" gchar *CamelCase2hyphen(const gchar *CamelCase) { return CamelCase2token(CamelCase, '-'); }

extern "C" gchar *CamelCase2uscore(const gchar *CamelCase) { return CamelCase2token(CamelCase, '_'); }
