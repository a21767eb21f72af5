/* Text forms of GValues: the self-describing "name:type:value" formatted
 * string, plain value text typed by a PTZParameter kind, and comparison.
 * Only boolean, int, double and string values are supported (see each
 * function). Stateless; every function may be called from any thread. */
#ifndef PTZ_GVALUE_UTILS_H
#define PTZ_GVALUE_UTILS_H

#include <glib.h>
#include <glib-object.h>

#include "ptz_enum_types.h"
#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * ptz_gvalue_utils_formatted_string_to_gvalue:
 * @string: "name:type:value"
 * @name: (out) (optional) (transfer full): a new copy of the name (free it
 *   with g_free())
 * @value: (out) (transfer full) (nullable): a new heap-allocated value
 *   (release with g_value_unset() and g_free())
 *
 * Parses a formatted string "name:type:value": "zoom:int32:42",
 * "flag:bool:TRUE", "path:string:a:b:c". The name and the type must not be
 * empty. The type is a registered GLib type name of one of the four
 * supported types ("gboolean", "gint", "gdouble", "gchararray") or one of
 * the aliases "int32", "boolean", "string", "double", "int", "bool"
 * (case-sensitive). The value is everything after the second colon:
 *
 * - a boolean is %TRUE for "true" in any letter case, %FALSE otherwise;
 *   text that is neither "true" nor "false" also logs "should be boolean
 *   value, was "<text>"";
 * - an integer is read in base 10 and cut to 32 bits, without error
 *   detection (text without digits reads 0, trailing text is ignored);
 * - a double is read with a point as decimal separator, whatever the
 *   locale;
 * - a string is the text as it is.
 *
 * A %NULL @string or @value, fewer than three fields, an empty name or
 * type, and a type that is not one of these are refused with a critical
 * naming the failed condition. Any thread may call it.
 *
 * Returns: %TRUE on success; on failure neither output is written, except
 *   that a registered but unsupported type sets *@value to %NULL
 */
PTZ_API gboolean ptz_gvalue_utils_formatted_string_to_gvalue (const gchar *string, gchar **name, GValue **value);

/**
 * ptz_gvalue_utils_gvalue_to_formatted_string:
 * @name: the name; it is not escaped, so a name holding a colon does not
 *   read back
 * @value: a boolean, int, double or string value (by its exact type)
 *
 * Formats a value as a formatted string: "name:boolean:true",
 * "name:int32:42", "name:double:1.500000" (six decimals, always with a
 * point, whatever the locale) or "name:string:text" (a %NULL string gives
 * "name:string:"). Any other type, a %NULL @name and a @value that is not
 * a #GValue are refused with a critical. Any thread may call it.
 *
 * Returns: (transfer full) (nullable): a new string (free it with
 *   g_free()), or %NULL
 */
PTZ_API gchar *ptz_gvalue_utils_gvalue_to_formatted_string (const gchar *name, const GValue *value);

/**
 * ptz_gvalue_utils_string_from_gvalue:
 * @value: (nullable): a value
 *
 * The plain text of a value holding a boolean ("true" or "false"), an int
 * (in decimal) or a string (a copy). Any thread may call it.
 *
 * Returns: (transfer full) (nullable): a new string (free it with
 *   g_free()), or %NULL for a %NULL value, a %NULL string and any other
 *   type (silently)
 */
PTZ_API gchar *ptz_gvalue_utils_string_from_gvalue (const GValue *value);

/**
 * ptz_gvalue_utils_gvalue_from_string:
 * @string: (nullable): the value's text
 * @type: the kind of value
 * @value: (out caller-allocates): a value that holds nothing (it is
 *   cleared, not unset: a value it held would leak)
 *
 * Clears *@value to zeroes and initialises it from the text: a boolean for
 * %PTZ_PARAMETER_BOOLEAN (%TRUE for "true" in any letter case), an int for
 * %PTZ_PARAMETER_INTEGER (base 10, cut to 32 bits, no error detection), a
 * copy of the string for %PTZ_PARAMETER_CONSTANT and %PTZ_PARAMETER_TEXT.
 * Release it with g_value_unset(). Any thread may call it.
 *
 * Returns: %TRUE on success; any other kind returns %FALSE and leaves
 *   *@value zeroed
 */
PTZ_API gboolean ptz_gvalue_utils_gvalue_from_string (const gchar *string, PTZParameter type, GValue *value);

/**
 * ptz_gvalue_utils_gvalue_cmp0:
 * @val1: a value
 * @val2: a value of the same exact type
 *
 * Compares two values. Values of different types are refused with a
 * critical; a type other than boolean, int and string (double included)
 * logs "ptz_gvalue_utils_gvalue_cmp0: Tried to compare unhandled type: N".
 * Any thread may call it.
 *
 * Returns: for booleans 0 when equal and 1 when not; for ints -1, 0 or 1
 *   by numeric order; for strings the sign of g_strcmp0(); -1 on failure
 */
PTZ_API gint ptz_gvalue_utils_gvalue_cmp0 (const GValue *val1, const GValue *val2);

G_END_DECLS

#endif /* PTZ_GVALUE_UTILS_H */
