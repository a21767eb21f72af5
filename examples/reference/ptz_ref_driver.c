/* A small PTZ driver written from the API reference alone: it answers
 * commands on a socket, publishes the head's position in the status cache
 * and offers its speed as a configuration on D-Bus. The move is immediate:
 * there is no head to drive.
 *
 *   ptz_ref_driver <configuration key file>
 *
 *   [RefDriver]
 *   Socket=/run/ptz/ref-driver.sock   the command socket
 *   Index=0                           the status-cache index
 *   Name=ref-head                     the driver's name
 *   Speed=50                          the speed, 1 to 100
 *
 * Commands, in the payload encoding: a 32-bit PTZCommand, then
 *   PTZ_COMMAND_GET_DRIVER_NAME  reply: the name (string)
 *   PTZ_COMMAND_MOVE             32-bit PTZ_MOVE_ABSOLUTE, 32-bit pan and
 *                                tilt in hundredths of a degree;
 *                                reply: 32-bit PTZDriverStatus
 *   PTZ_COMMAND_QUERY_POSITION   reply: 32-bit pan and tilt, hundredths
 *   anything else                reply: 32-bit PTZ_COMMAND_ERROR_REPLY
 *
 * On D-Bus it owns com.brantel.PTZ.RefDriver and serves
 * com.brantel.Configuration.Legacy at /com/brantel/PTZ/RefDriver:
 * configuration 0 has the entry "Speed" (an int). SIGTERM or SIGINT ends it. */
#include <glib-unix.h>
#include <signal.h>
#include <stdio.h>
#include <sys/socket.h>

#include <velmora_common.h>

#define SETTINGS_GROUP "RefDriver"
#define BUS_SERVICE "RefDriver"

typedef struct {
  gchar *name;
  gint speed;
  /* The published values: the status cache reads them from here. */
  gfloat pan_deg;
  gfloat tilt_deg;
  gint32 pan_status;
  gint32 tilt_status;
  PTZStatusCacheGroup *position;
  PTZLegacyConfigHandler *configuration;
} Driver;

/* Every line the library logs, on stderr and in the system log. */
static void
show_library_line (int priority, const gchar *line, gpointer user_data)
{
  fprintf (stderr, "library (priority %d): %s\n", priority, line);
  ptz_log_default_handler (priority, line, user_data);
}

static gint32
hundredths (gfloat degrees)
{
  return (gint32) (degrees * 100.0f + (degrees < 0 ? -0.5f : 0.5f));
}

/* Reads a move: the mode and the two angles must fill the payload exactly. */
static guint32
move (Driver *driver, GArray *request, guint indx)
{
  guint32 mode = ptz_deserialize_32bit (request, &indx);
  gint32 pan = (gint32) ptz_deserialize_32bit (request, &indx);
  gint32 tilt = (gint32) ptz_deserialize_32bit (request, &indx);

  /* A refused read leaves the index where it was: a short payload never
   * reaches the end. */
  if (indx != request->len || mode != PTZ_MOVE_ABSOLUTE)
    return PTZ_DRIVER_STATUS_ERROR;
  driver->pan_deg = pan / 100.0f;
  driver->tilt_deg = tilt / 100.0f;
  driver->pan_status = driver->tilt_status = PTZ_MOVE_STATUS_IDLE;
  if (!ptz_status_cache_update_group (driver->position))
    return PTZ_DRIVER_STATUS_ERROR; /* the library has logged why */
  printf ("moved to pan %.2f, tilt %.2f\n", driver->pan_deg, driver->tilt_deg);
  fflush (stdout);
  return PTZ_DRIVER_STATUS_READY;
}

/* Runs on the main loop for every command; the reply consumes the handle. */
static gboolean
on_command (gpointer user_data, PTZSocketServerHandle *handle, const gchar *data, gsize length)
{
  Driver *driver = user_data;
  GArray *request = ptz_serialize_create_array ();
  GArray *reply = ptz_serialize_create_array ();
  guint indx = 0;
  guint32 command;

  g_array_append_vals (request, data, (guint) length);
  command = ptz_deserialize_32bit (request, &indx);
  if (indx == 0)
    command = (guint32) PTZ_COMMAND_ERROR_REPLY; /* shorter than a command */

  switch (command) {
  case PTZ_COMMAND_GET_DRIVER_NAME:
    ptz_serialize_string (reply, driver->name);
    break;
  case PTZ_COMMAND_MOVE:
    ptz_serialize_32bit (reply, move (driver, request, indx));
    break;
  case PTZ_COMMAND_QUERY_POSITION:
    ptz_serialize_32bit (reply, (guint32) hundredths (driver->pan_deg));
    ptz_serialize_32bit (reply, (guint32) hundredths (driver->tilt_deg));
    break;
  default:
    ptz_serialize_32bit (reply, (guint32) PTZ_COMMAND_ERROR_REPLY);
    break;
  }
  if (!ptz_socket_server_send (handle, reply->data, reply->len))
    fprintf (stderr, "the reply to command %u was not sent\n", command);
  g_array_free (request, TRUE);
  g_array_free (reply, TRUE);
  return TRUE;
}

static gboolean
on_get_entry (ptzlegacyconfigdynamicConfigurationLegacy *skeleton,
              GDBusMethodInvocation *invocation, gint index, const gchar *entry, gpointer user_data)
{
  Driver *driver = user_data;

  if (index != 0 || g_strcmp0 (entry, "Speed") != 0) {
    g_dbus_method_invocation_return_error (invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                           "No entry %s in configuration %d", entry, index);
    return TRUE;
  }
  ptz_legacy_config_dynamic_configuration_legacy_complete_get_configuration_entry (
      skeleton, invocation, g_variant_new_variant (g_variant_new_int32 (driver->speed)));
  return TRUE;
}

static gboolean
on_set_entry (ptzlegacyconfigdynamicConfigurationLegacy *skeleton,
              GDBusMethodInvocation *invocation, gint index, const gchar *entry, GVariant *value,
              gpointer user_data)
{
  Driver *driver = user_data;
  GVariant *inner = g_variant_get_variant (value);
  gint speed = g_variant_is_of_type (inner, G_VARIANT_TYPE_INT32) ? g_variant_get_int32 (inner) : 0;
  GValue announced = G_VALUE_INIT;

  g_variant_unref (inner);
  if (index != 0 || g_strcmp0 (entry, "Speed") != 0 || speed < 1 || speed > 100) {
    g_dbus_method_invocation_return_error (invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                           "Speed is an int from 1 to 100");
    return TRUE;
  }
  driver->speed = speed;
  g_value_init (&announced, G_TYPE_INT);
  g_value_set_int (&announced, speed);
  ptz_legacy_config_prop_changed (driver->configuration, "Speed", &announced);
  g_value_unset (&announced);
  ptz_legacy_config_dynamic_configuration_legacy_complete_set_configuration_entry (skeleton,
                                                                                   invocation);
  printf ("speed set to %d\n", speed);
  fflush (stdout);
  return TRUE;
}

static gboolean
quit (gpointer loop)
{
  g_main_loop_quit (loop);
  return G_SOURCE_REMOVE;
}

/* The status-cache description of the published position. */
static PTZStatusCacheGroup *
describe_position (Driver *driver, guint32 index)
{
  PTZStatusCacheGroup *group = ptz_status_cache_setup_group (PTZ_SC_GROUP_POSITION, index, 4);

  if (group == NULL)
    return NULL;
  if (!ptz_status_cache_add_param (group, PTZ_SC_PARAM_POSITION_PAN, &driver->pan_deg) ||
      !ptz_status_cache_add_param (group, PTZ_SC_PARAM_POSITION_TILT, &driver->tilt_deg) ||
      !ptz_status_cache_add_param (group, PTZ_SC_PARAM_POSITION_PAN_STATUS, &driver->pan_status) ||
      !ptz_status_cache_add_param (group, PTZ_SC_PARAM_POSITION_TILT_STATUS,
                                   &driver->tilt_status)) {
    ptz_status_cache_free_group (group);
    return NULL;
  }
  return group;
}

int
main (int argc, char **argv)
{
  Driver driver = { NULL, 50, 0.0f, 0.0f, PTZ_MOVE_STATUS_IDLE, PTZ_MOVE_STATUS_IDLE, NULL, NULL };
  const gchar *files[] = { NULL, NULL };
  gchar *socket_path;
  gint index = 0;
  PTZSocketServerCommand *server;
  ptzlegacyconfigdynamicConfigurationLegacy *skeleton;
  PTZGDBusServer *bus_names;
  GMainLoop *loop;
  int status = 1;

  if (argc != 2) {
    fprintf (stderr, "usage: %s <configuration key file>\n", argv[0]);
    return 2;
  }
  ptz_log_set_handler (show_library_line, NULL, NULL);

  files[0] = argv[1];
  socket_path = ptz_settings_load_config_gkf_strv (files, TRUE)
                    ? ptz_settings_get_custom_string (SETTINGS_GROUP, "Socket")
                    : NULL;
  if (socket_path == NULL || !ptz_settings_get_custom_int (SETTINGS_GROUP, "Index", &index) ||
      index < 0) {
    fprintf (stderr, "%s: needs Socket and Index in [%s]\n", argv[1], SETTINGS_GROUP);
    g_free (socket_path);
    return 1;
  }
  driver.name = ptz_settings_get_custom_string (SETTINGS_GROUP, "Name");
  if (driver.name == NULL)
    driver.name = g_strdup ("ref-head");
  ptz_settings_get_custom_int (SETTINGS_GROUP, "Speed", &driver.speed);

  /* The status cache: defaults for the whole group, then our values. */
  ptz_status_cache_create_group (PTZ_SC_GROUP_POSITION, (guint32) index);
  driver.position = describe_position (&driver, (guint32) index);

  loop = g_main_loop_new (NULL, FALSE);
  server = ptz_socket_server_command_new (socket_path, SOCK_STREAM);
  ptz_socket_server_register_callback (PTZ_SOCKET_SERVER (server), on_command, &driver);

  skeleton = ptz_legacy_config_dynamic_configuration_legacy_skeleton_new ();
  g_signal_connect (skeleton, "handle-get-configuration-entry", G_CALLBACK (on_get_entry), &driver);
  g_signal_connect (skeleton, "handle-set-configuration-entry", G_CALLBACK (on_set_entry), &driver);
  driver.configuration = ptz_legacy_config_setup (G_DBUS_INTERFACE_SKELETON (skeleton),
                                                  "ref-driver-events", "ref-driver", BUS_SERVICE);
  bus_names = g_object_new (PTZ_TYPE_G_DBUS_SERVER, NULL);

  if (PTZ_SOCKET (server)->fd < 0 || driver.position == NULL ||
      !ptz_status_cache_update_group (driver.position) || driver.configuration == NULL ||
      !ptz_g_dbus_server_dbus_request_name (bus_names, BUS_SERVICE)) {
    fprintf (stderr, "the driver could not start (the library's lines above tell why)\n");
  } else {
    g_unix_signal_add (SIGTERM, quit, loop);
    g_unix_signal_add (SIGINT, quit, loop);
    printf ("driver %s ready on %s\n", driver.name, socket_path);
    fflush (stdout);
    g_main_loop_run (loop);
    status = 0;
  }

  ptz_legacy_config_cleanup (driver.configuration);
  g_object_unref (bus_names);
  g_object_unref (skeleton);
  g_object_unref (server);
  ptz_status_cache_free_group (driver.position);
  g_main_loop_unref (loop);
  g_free (socket_path);
  g_free (driver.name);
  return status;
}
