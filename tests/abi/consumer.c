/* A C99 program using the library as its users do: through the public
 * headers and the shared library only. Exits 0 when every check holds. */
#include <stdio.h>
#include <string.h>

#include "velmora_common.h"

#define CHECK(cond)                                                             \
  do {                                                                          \
    if (!(cond)) {                                                              \
      fprintf (stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      return 1;                                                                 \
    }                                                                           \
  } while (0)

int
main (void)
{
  GEnumClass *commands = g_type_class_ref (PTZ_TYPE_COMMAND);
  GEnumValue *value = g_enum_get_value_by_nick (commands, "query position");
  GArray *payload;
  guint indx = 0;
  gchar *text;
  PTZDriverCapabilities caps = { 0, PTZ_DRIVER_EXTRA_CAPABILITIES_DEVICE_TYPE };

  /* The library found at run time is the one the headers describe. */
  CHECK (ptz_check_version (PTZ_MAJOR_VERSION, PTZ_MINOR_VERSION, PTZ_MICRO_VERSION) == NULL);
  CHECK (value != NULL && value->value == PTZ_COMMAND_QUERY_POSITION);
  CHECK (strcmp (g_type_name (PTZ_TYPE_SC_PARAM), "PTZSCParam") == 0);
  g_type_class_unref (commands);

  payload = ptz_serialize_create_array ();
  ptz_serialize_32bit (payload, PTZ_COMMAND_MOVE);
  ptz_serialize_string (payload, "abc");
  CHECK (payload->len == 9);
  CHECK (ptz_deserialize_32bit (payload, &indx) == PTZ_COMMAND_MOVE);
  text = ptz_deserialize_string (payload, &indx);
  CHECK (text != NULL && strcmp (text, "abc") == 0);
  g_free (text);
  g_array_free (payload, TRUE);

  CHECK (!ptz_flags_utils_ptz_usable (&caps));
  CHECK (caps.extra == 0);

  puts ("consumer: ok");
  return 0;
}
