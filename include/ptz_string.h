/* Name conversion: CamelCase names (types, properties, parameters) into
 * lower-case names with a separator between the words. */
#ifndef PTZ_STRING_H
#define PTZ_STRING_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/* Lower-cases `CamelCase` (not NULL) and puts `token` before every ASCII
 * capital that follows an ASCII lower-case letter. The result (free with
 * g_free) holds at most 49 characters: longer names are cut. */
PTZ_API gchar *CamelCase2token (const gchar *CamelCase, gchar token);
/* CamelCase2token (CamelCase, '-') */
PTZ_API gchar *CamelCase2hyphen (const gchar *CamelCase);
/* CamelCase2token (CamelCase, '_') */
PTZ_API gchar *CamelCase2uscore (const gchar *CamelCase);

G_END_DECLS

#endif /* PTZ_STRING_H */
