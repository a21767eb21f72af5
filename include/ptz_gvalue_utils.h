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
 * @name: (out) (optional) (transfer full): a new copy of the name
 * @value: (out) (transfer full) (nullable): a new heap-allocated value
 *   (release with g_value_unset() and g_free())
 *
 * Parses "name:type:value". The type is a registered GLib type name of one
 * of the four supported types ("gboolean", "gint", "gdouble",
 * "gchararray") or one of the aliases "int32", "boolean", "string",
 * "double", "int", "bool". The value is everything after the second colon.
 *
 * Returns: %TRUE on success; on failure neither output is written, except
 *   that a registered but unsupported type sets *@value to %NULL
 */
PTZ_API gboolean ptz_gvalue_utils_formatted_string_to_gvalue (const gchar *string,
                                                              gchar **name,
                                                              GValue **value);

/* "name:boolean:true", "name:int32:42", "name:double:1.500000" (always with a
 * decimal point, whatever the locale) or "name:string:text". Returns a new
 * string, or NULL for any other value type. */
PTZ_API gchar *ptz_gvalue_utils_gvalue_to_formatted_string (const gchar *name,
                                                            const GValue *value);

/* Plain text of a boolean ("true"/"false"), int ("%d") or string value (a
 * copy). NULL for a NULL value, a NULL string and any other type. */
PTZ_API gchar *ptz_gvalue_utils_string_from_gvalue (const GValue *value);

/**
 * ptz_gvalue_utils_gvalue_from_string:
 * @string: the value's text
 * @type: the kind of value
 * @value: (out caller-allocates): a value that holds nothing
 *
 * Clears *@value to zeroes and initialises it from the text: a boolean for
 * %PTZ_PARAMETER_BOOLEAN, an int for %PTZ_PARAMETER_INTEGER, a string for
 * %PTZ_PARAMETER_CONSTANT and %PTZ_PARAMETER_TEXT.
 *
 * Returns: %TRUE on success; any other kind returns %FALSE and leaves
 *   *@value zeroed
 */
PTZ_API gboolean ptz_gvalue_utils_gvalue_from_string (const gchar *string,
                                                      PTZParameter type,
                                                      GValue *value);

/* Compares two values of the same exact type: booleans give 0 or 1, ints -1,
 * 0 or 1, strings the sign of g_strcmp0. Different types and any other type
 * give -1. */
PTZ_API gint ptz_gvalue_utils_gvalue_cmp0 (const GValue *val1, const GValue *val2);

G_END_DECLS

#endif /* PTZ_GVALUE_UTILS_H */
