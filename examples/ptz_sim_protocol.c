/* Payload helpers shared by the simulated driver and the commander. */
#include "ptz_sim_protocol.h"

#include <string.h>

const gchar *
ptz_sim_status_text (guint32 status)
{
  switch (status) {
  case PTZ_SIM_OK:
    return "ok";
  case PTZ_SIM_ERR_MALFORMED:
    return "malformed request";
  case PTZ_SIM_ERR_UNSUPPORTED:
    return "not supported";
  case PTZ_SIM_ERR_NO_SUCH_PRESET:
    return "no such preset";
  case PTZ_SIM_ERR_BAD_ARGUMENT:
    return "bad argument";
  case PTZ_SIM_ERR_STORAGE:
    return "storage failed";
  default:
    return "unknown status";
  }
}

const gchar *
ptz_sim_command_text (guint32 command)
{
  GEnumClass *klass = g_type_class_ref (ptz_command_get_type ());
  GEnumValue *value = g_enum_get_value (klass, (gint) command);
  /* Enum classes stay alive once referenced, so the nick stays valid. */
  const gchar *text = value != NULL ? value->value_nick : "unknown";
  g_type_class_unref (klass);
  return text;
}

gboolean
ptz_sim_preset_name_valid (const gchar *name)
{
  gsize i, length;
  if (name == NULL)
    return FALSE;
  length = strlen (name);
  if (length == 0 || length > PTZ_SIM_PRESET_NAME_MAX)
    return FALSE;
  for (i = 0; i < length; i++)
    if (!g_ascii_isalnum (name[i]) && name[i] != '-' && name[i] != '_')
      return FALSE;
  return TRUE;
}

GArray *
ptz_sim_array_from_bytes (const void *data, gsize length)
{
  GArray *array = ptz_serialize_create_array ();
  if (length > 0)
    g_array_append_vals (array, data, (guint) length);
  return array;
}

static gboolean
room_for (GArray *array, guint indx, guint size)
{
  return indx <= array->len && array->len - indx >= size;
}

gboolean
ptz_sim_read_u32 (GArray *array, guint *indx, guint32 *value)
{
  if (!room_for (array, *indx, 4))
    return FALSE;
  *value = ptz_deserialize_32bit (array, indx);
  return TRUE;
}

gboolean
ptz_sim_read_i32 (GArray *array, guint *indx, gint32 *value)
{
  guint32 raw;
  if (!ptz_sim_read_u32 (array, indx, &raw))
    return FALSE;
  memcpy (value, &raw, sizeof *value);
  return TRUE;
}

gchar *
ptz_sim_read_string (GArray *array, guint *indx)
{
  guint16 length;
  if (!room_for (array, *indx, 2))
    return NULL;
  memcpy (&length, array->data + *indx, sizeof length);
  if (!room_for (array, *indx + 2, length))
    return NULL;
  return ptz_deserialize_string (array, indx);
}

gint32
ptz_sim_to_wire (double value)
{
  double scaled = value * 100.0;
  /* Rounds half away from zero; out of range (and NaN) saturates. */
  if (!(scaled > -2147483647.5))
    return G_MININT32;
  if (!(scaled < 2147483646.5))
    return G_MAXINT32;
  return (gint32) (scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
}

double
ptz_sim_from_wire (gint32 value)
{
  return value / 100.0;
}
