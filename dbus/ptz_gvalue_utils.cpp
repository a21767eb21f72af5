// Text forms of GValues: the "name:type:value" formatted string, plain value
// text typed by a PTZParameter kind, and comparison of two values.
// This file keeps GLib's layout: the criticals of its guards print their
// conditions as written here ("G_VALUE_TYPE (val2) == type").
// clang-format off
#include "ptz_gvalue_utils.h"

#include <cstring>

#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "common/ptz_guard.h"

namespace {

// The name an unhandled comparison is logged under.
constexpr char kCompare[] = "ptz_gvalue_utils_gvalue_cmp0";

bool is_supported (GType type)
{
  return type == G_TYPE_BOOLEAN || type == G_TYPE_INT || type == G_TYPE_DOUBLE ||
         type == G_TYPE_STRING;
}

// The short type names accepted besides GLib's own, in the order tried.
struct TypeAlias {
  const char *token;
  GType type;
};
constexpr TypeAlias kTypeAliases[] = {
  {"int32", G_TYPE_INT},      {"boolean", G_TYPE_BOOLEAN}, {"string", G_TYPE_STRING},
  {"double", G_TYPE_DOUBLE},  {"int", G_TYPE_INT},         {"bool", G_TYPE_BOOLEAN},
};

GType alias_type (const char *token)
{
  for (const TypeAlias &alias : kTypeAliases)
    if (strcmp (token, alias.token) == 0)
      return alias.type;
  return G_TYPE_NONE;
}

bool text_is (const char *text, const char *word)
{
  return text != nullptr && g_ascii_strcasecmp (text, word) == 0;
}

gint parse_int (const char *text)
{
  // Base 10 without error detection: non-numeric text reads as 0, trailing
  // characters are ignored, and the result is cut to 32 bits.
  return text != nullptr ? static_cast<gint> (g_ascii_strtoll (text, nullptr, 10)) : 0;
}

// Reads the value field of a formatted string into value (initialised to its
// type).
void parse_value_text (GValue *value, const char *text)
{
  switch (G_VALUE_TYPE (value)) {
  case G_TYPE_BOOLEAN: {
    const bool truth = text_is (text, "true");
    if (!truth && !text_is (text, "false"))
      PTZ_LOG_ERR ("should be boolean value, was \"%s\"", text);
    g_value_set_boolean (value, truth);
    break;
  }
  case G_TYPE_INT:
    g_value_set_int (value, parse_int (text));
    break;
  case G_TYPE_DOUBLE:
    g_value_set_double (value, g_ascii_strtod (text, nullptr));
    break;
  default:
    g_value_set_string (value, text);
    break;
  }
}

}  // namespace

extern "C" {

gboolean
ptz_gvalue_utils_formatted_string_to_gvalue (const gchar *string, gchar **name, GValue **value)
{
  PTZ_RETURN_VAL_IF_FAIL (string, FALSE);
  PTZ_RETURN_VAL_IF_FAIL (value, FALSE);

  velmora::StrvPtr fields (g_strsplit_set (string, ":", 3));
  gchar **vector = fields.get ();
  PTZ_RETURN_VAL_IF_FAIL (vector, FALSE);
  PTZ_RETURN_VAL_IF_FAIL (vector[0] != NULL && vector[1] != NULL && vector[2] != NULL, FALSE);
  PTZ_RETURN_VAL_IF_FAIL (vector[0][0] != '\0' && vector[1][0] != '\0', FALSE);

  GType type = g_type_from_name (vector[1]);
  if (type == G_TYPE_INVALID)
    type = alias_type (vector[1]);
  PTZ_RETURN_VAL_IF_FAIL (type != G_TYPE_NONE, FALSE);
  if (!is_supported (type)) {
    *value = nullptr;
    PTZ_RETURN_VAL_IF_REACHED (FALSE);
  }

  GValue *parsed = g_new0 (GValue, 1);
  g_value_init (parsed, type);
  parse_value_text (parsed, vector[2]);
  *value = parsed;
  if (name != nullptr)
    *name = g_strdup (vector[0]);
  return TRUE;
}

gchar *
ptz_gvalue_utils_gvalue_to_formatted_string (const gchar *name, const GValue *value)
{
  PTZ_RETURN_VAL_IF_FAIL (name != NULL, NULL);
  PTZ_RETURN_VAL_IF_FAIL (G_IS_VALUE (value), NULL);

  switch (G_VALUE_TYPE (value)) {
  case G_TYPE_BOOLEAN:
    return g_strdup_printf ("%s:boolean:%s", name, g_value_get_boolean (value) ? "true" : "false");
  case G_TYPE_INT:
    return g_strdup_printf ("%s:int32:%d", name, g_value_get_int (value));
  case G_TYPE_DOUBLE: {
    // Six decimals with a point whatever the process's locale, so that the
    // text reads back (reading always expects a point). Room for the widest
    // double, 309 integer digits.
    gchar text[G_ASCII_DTOSTR_BUF_SIZE + 320];
    g_ascii_formatd (text, sizeof text, "%f", g_value_get_double (value));
    return g_strdup_printf ("%s:double:%s", name, text);
  }
  case G_TYPE_STRING: {
    const gchar *text = g_value_get_string (value);
    return g_strdup_printf ("%s:string:%s", name, text != nullptr ? text : "");
  }
  default:
    PTZ_RETURN_VAL_IF_REACHED (NULL);
  }
}

gchar *
ptz_gvalue_utils_string_from_gvalue (const GValue *value)
{
  if (value == nullptr)
    return nullptr;
  if (G_VALUE_HOLDS_BOOLEAN (value))
    return g_strdup (g_value_get_boolean (value) ? "true" : "false");
  if (G_VALUE_HOLDS_INT (value))
    return g_strdup_printf ("%d", g_value_get_int (value));
  if (G_VALUE_HOLDS_STRING (value))
    return g_strdup (g_value_get_string (value));
  return nullptr;
}

gboolean
ptz_gvalue_utils_gvalue_from_string (const gchar *string, PTZParameter type, GValue *value)
{
  PTZ_RETURN_VAL_IF_FAIL (value != NULL, FALSE);

  memset (value, 0, sizeof *value);
  switch (type) {
  case PTZ_PARAMETER_BOOLEAN:
    g_value_init (value, G_TYPE_BOOLEAN);
    g_value_set_boolean (value, text_is (string, "true"));
    return TRUE;
  case PTZ_PARAMETER_INTEGER:
    g_value_init (value, G_TYPE_INT);
    g_value_set_int (value, parse_int (string));
    return TRUE;
  case PTZ_PARAMETER_CONSTANT:
  case PTZ_PARAMETER_TEXT:
    g_value_init (value, G_TYPE_STRING);
    g_value_set_string (value, string);
    return TRUE;
  default:
    return FALSE;
  }
}

gint
ptz_gvalue_utils_gvalue_cmp0 (const GValue *val1, const GValue *val2)
{
  PTZ_RETURN_VAL_IF_FAIL (G_IS_VALUE (val1), -1);
  PTZ_RETURN_VAL_IF_FAIL (G_IS_VALUE (val2), -1);
  const GType type = G_VALUE_TYPE (val1);
  PTZ_RETURN_VAL_IF_FAIL (G_VALUE_TYPE (val2) == type, -1);

  switch (type) {
  case G_TYPE_BOOLEAN:
    return (!g_value_get_boolean (val1)) != (!g_value_get_boolean (val2)) ? 1 : 0;
  case G_TYPE_INT: {
    const gint a = g_value_get_int (val1);
    const gint b = g_value_get_int (val2);
    return a < b ? -1 : (a > b ? 1 : 0);
  }
  case G_TYPE_STRING:
    return g_strcmp0 (g_value_get_string (val1), g_value_get_string (val2));
  default:
    PTZ_LOG_ERR ("%s: Tried to compare unhandled type: %" G_GSIZE_FORMAT, kCompare, static_cast<gsize> (type));
    return -1;
  }
}

}  // extern "C"
