/* The command protocol between the simulated PTZ driver and the processes
 * that command it, carried as payloads of the framed command channel and
 * encoded with the library's byte-array serialization.
 *
 * Request: 32-bit PTZCommand, then the command's arguments.
 * Reply:   32-bit PTZCommand of the request, 32-bit PtzSimStatus, then the
 *          command's results when the status is PTZ_SIM_OK.
 *
 * Angles travel as signed 32-bit hundredths of a degree, magnifications as
 * hundredths, both in the unsigned 32-bit field (two's complement).
 *
 *   MOVE                   u32 PTZMove, i32 pan, i32 tilt, i32 zoom
 *                          (absolute: targets; relative: offsets;
 *                          continuous: percent of full speed, -100..100)
 *   STOP                   -
 *   SET_PRESET             string name       (the current position)
 *   GOTO_PRESET            string name
 *   QUERY_POSITION         -  -> i32 pan, i32 tilt, i32 zoom,
 *                                i32 pan, tilt and zoom PTZMoveStatus
 *   GET_CAPABILITIES       -  -> u32 move word, u32 extra word
 *   GET_DRIVER_NAME        -  -> string
 *   GET_DRIVER_PARAMETERS  -  -> u32 count, count driver parameter items
 *
 * Driver parameter items: field1 PTZParameter kind, field2 name, field3
 * value text, field4 range text, field5 PTZParameterGroup, field6 1 when
 * the value can be changed over D-Bus, field7 a description. */
#ifndef PTZ_SIM_PROTOCOL_H
#define PTZ_SIM_PROTOCOL_H

#include <velmora_common.h>

G_BEGIN_DECLS

typedef enum {
  PTZ_SIM_OK = 0,
  PTZ_SIM_ERR_MALFORMED = 1,   /* the payload does not hold the arguments */
  PTZ_SIM_ERR_UNSUPPORTED = 2, /* a command or move mode the driver lacks */
  PTZ_SIM_ERR_NO_SUCH_PRESET = 3,
  PTZ_SIM_ERR_BAD_ARGUMENT = 4, /* a value out of range, a bad preset name */
  PTZ_SIM_ERR_STORAGE = 5       /* presets could not be stored */
} PtzSimStatus;

/* Longest preset name; names use letters, digits, '-' and '_'. */
#define PTZ_SIM_PRESET_NAME_MAX 32

const gchar *ptz_sim_status_text (guint32 status);
/* The nick of a PTZCommand, or "unknown". */
const gchar *ptz_sim_command_text (guint32 command);
gboolean ptz_sim_preset_name_valid (const gchar *name);

/* A new byte array holding a copy of `length` bytes of `data`. */
GArray *ptz_sim_array_from_bytes (const void *data, gsize length);

/* Readers that check the room left before reading, so a short or hostile
 * payload fails cleanly: FALSE leaves *indx and the output unchanged. */
gboolean ptz_sim_read_u32 (GArray *array, guint *indx, guint32 *value);
gboolean ptz_sim_read_i32 (GArray *array, guint *indx, gint32 *value);
/* A new string, or NULL when the field does not fit the payload. */
gchar *ptz_sim_read_string (GArray *array, guint *indx);

/* Degrees (or magnification) to hundredths and back, rounded. */
gint32 ptz_sim_to_wire (double value);
double ptz_sim_from_wire (gint32 value);

G_END_DECLS

#endif /* PTZ_SIM_PROTOCOL_H */
