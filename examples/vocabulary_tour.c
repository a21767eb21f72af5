/* Prints the framework's vocabulary (every registered enumeration and flags
 * type with its values, names and nicks) and round-trips a command payload
 * through the byte-array encoding. */
#include <stdio.h>
#include <string.h>

#include <velmora_common.h>

typedef GType (*TypeFunc) (void);

static const TypeFunc vocabulary[] = {
  ptz_command_get_type,
  ptz_socket_command_get_type,
  ptz_protocol_version_get_type,
  ptz_move_get_type,
  ptz_move_status_get_type,
  ptz_move_cmd_get_type,
  ptz_enable_get_type,
  ptz_auto_enable_get_type,
  ptz_control_get_type,
  ptz_query_get_type,
  ptz_angle_get_type,
  ptz_osd_menu_get_type,
  ptz_driver_status_get_type,
  ptz_space_get_type,
  ptz_parameter_get_type,
  ptz_parameter_group_get_type,
  ptz_port_mode_get_type,
  ptz_baud_rate_get_type,
  ptz_data_bits_get_type,
  ptz_stop_bits_get_type,
  ptz_parity_get_type,
  ptz_port_type_get_type,
  ptz_sc_group_get_type,
  ptz_sc_param_get_type,
  ptz_driver_state_get_type,
  ptz_driver_move_capabilities_get_type,
  ptz_driver_extra_capabilities_get_type,
};

static void
print_type (GType type)
{
  guint i;
  if (G_TYPE_IS_ENUM (type)) {
    GEnumClass *klass = g_type_class_ref (type);
    printf ("%s (enum, %u values)\n", g_type_name (type), klass->n_values);
    for (i = 0; i < klass->n_values; i++)
      printf ("  %11d  %-36s %s\n", klass->values[i].value, klass->values[i].value_name,
              klass->values[i].value_nick);
    g_type_class_unref (klass);
  } else {
    GFlagsClass *klass = g_type_class_ref (type);
    printf ("%s (flags, %u values)\n", g_type_name (type), klass->n_values);
    for (i = 0; i < klass->n_values; i++)
      printf ("   0x%08x  %-36s %s\n", klass->values[i].value, klass->values[i].value_name,
              klass->values[i].value_nick);
    g_type_class_unref (klass);
  }
}

static void
print_bytes (const GArray *array)
{
  guint i;
  for (i = 0; i < array->len; i++)
    printf ("%02x%s", (guint8) array->data[i], i + 1 < array->len ? " " : "\n");
}

/* The library's error lines, shown on stderr beside the system log, so that
 * the reason for a failure is in front of the user (VELMORA_LOG_STDERR=1
 * shows the retries and notices too). */
static void
show_library_line (int priority, const gchar *line, gpointer program)
{
  if (priority <= LOG_ERR)
    fprintf (stderr, "%s: %s\n", (const gchar *) program, line);
  ptz_log_default_handler (priority, line, NULL);
}

int
main (void)
{
  gsize i;
  GArray *payload;
  guint indx = 0;
  guint32 command;
  gchar *preset;
  guint16 speed;
  GEnumClass *commands;

  ptz_log_set_handler (show_library_line, "vocabulary_tour", NULL);
  for (i = 0; i < G_N_ELEMENTS (vocabulary); i++)
    print_type (vocabulary[i]());

  /* A "goto preset" command as a driver would receive it. */
  payload = ptz_serialize_create_array ();
  ptz_serialize_32bit (payload, PTZ_COMMAND_GOTO_PRESET);
  ptz_serialize_string (payload, "entrance");
  ptz_serialize_16bit (payload, 80);
  printf ("\npayload (%u bytes): ", payload->len);
  print_bytes (payload);

  command = ptz_deserialize_32bit (payload, &indx);
  preset = ptz_deserialize_string (payload, &indx);
  speed = ptz_deserialize_16bit (payload, &indx);
  commands = g_type_class_ref (PTZ_TYPE_COMMAND);
  printf ("decoded: command %u (\"%s\"), preset \"%s\", speed %u; %u of %u bytes read\n", command,
          g_enum_get_value (commands, (gint) command)->value_nick, preset, speed, indx,
          payload->len);
  g_type_class_unref (commands);
  if (command != PTZ_COMMAND_GOTO_PRESET || strcmp (preset, "entrance") != 0 || speed != 80 ||
      indx != payload->len) {
    fprintf (stderr, "payload round trip failed\n");
    return 1;
  }
  g_free (preset);
  g_array_free (payload, TRUE);
  return 0;
}
