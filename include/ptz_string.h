/* Name conversion: CamelCase names (types, properties, parameters) into
 * lower-case names with a separator between the words. */
#ifndef PTZ_STRING_H
#define PTZ_STRING_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * CamelCase2token:
 * @CamelCase: the name, not %NULL (a fatal assertion)
 * @token: the separator
 *
 * Lower-cases @CamelCase and puts @token before every ASCII capital that
 * follows an ASCII lower-case letter: "PanTiltZoom" gives "pan-tilt-zoom"
 * with '-'. Only ASCII letters are looked at: a run of capitals stays one
 * word ("PTZDriverManager" gives "ptzdriver-manager"), and a capital after
 * a digit starts none. The conversion stops once 48 characters are
 * written, so the result holds at most 49: longer names are cut. Any
 * thread may call it.
 *
 * Returns: (transfer full): the converted name (free it with g_free())
 */
PTZ_API gchar *CamelCase2token (const gchar *CamelCase, gchar token);
/**
 * CamelCase2hyphen:
 * @CamelCase: the name, not %NULL
 *
 * CamelCase2token() with '-': "maxSpeed" gives "max-speed".
 *
 * Any thread may call it.
 *
 * Returns: (transfer full): the converted name (free it with g_free())
 */
PTZ_API gchar *CamelCase2hyphen (const gchar *CamelCase);
/**
 * CamelCase2uscore:
 * @CamelCase: the name, not %NULL
 *
 * CamelCase2token() with '_': "PanTiltZoom" gives "pan_tilt_zoom".
 *
 * Any thread may call it.
 *
 * Returns: (transfer full): the converted name (free it with g_free())
 */
PTZ_API gchar *CamelCase2uscore (const gchar *CamelCase);

G_END_DECLS

#endif /* PTZ_STRING_H */
