/* A small client of ptz_ref_driver written from the API reference alone:
 * commands over the socket (synchronous and asynchronous), the position
 * read back from the status cache, the speed over D-Bus, and what a
 * program sees when a driver is not there.
 *
 *   ptz_ref_client <the driver's configuration key file>
 *
 * It prints what it learns and exits with 0 when every step worked. */
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

#include <velmora_common.h>

#define SETTINGS_GROUP "RefDriver"
#define PAYLOAD_MAX (PTZ_SOCKET_MESSAGE_MAX - PTZ_SOCKET_HEADER_SIZE)

/* What an asynchronous command waits for. */
typedef struct {
  GMainLoop *loop;
  gboolean answered;
  gint32 pan;
  gint32 tilt;
} PendingQuery;

static int failures = 0;

static void
check (gboolean ok, const gchar *what)
{
  printf ("%s: %s\n", what, ok ? "ok" : "FAILED");
  fflush (stdout);
  if (!ok)
    failures++;
}

/* Every line the library logs, on stderr. */
static void
show_library_line (int priority, const gchar *line, gpointer user_data)
{
  (void) user_data;
  fprintf (stderr, "library (priority %d): %s\n", priority, line);
}

/* Iterates the default main context until the client is connected: its
 * descriptor is -1 while it (re)connects, once a second. */
static gboolean
wait_until_connected (PTZSocketClientCommand *client, gint64 timeout_us)
{
  gint64 deadline = g_get_monotonic_time () + timeout_us;

  while (PTZ_SOCKET (client)->fd < 0 && g_get_monotonic_time () < deadline) {
    if (!g_main_context_iteration (NULL, FALSE))
      g_usleep (10000);
  }
  return PTZ_SOCKET (client)->fd >= 0;
}

/* Sends a payload and waits for the reply (10 s at most) into `reply`. */
static gboolean
exchange (PTZSocketClientCommand *client, GArray *payload, GArray *reply)
{
  gsize length = 0;

  g_array_set_size (reply, PAYLOAD_MAX);
  if (!ptz_socket_client_command_sync_send (client, payload->data, payload->len, reply->data,
                                            &length)) {
    g_array_set_size (reply, 0);
    return FALSE;
  }
  g_array_set_size (reply, (guint) length);
  return TRUE;
}

/* The reply dispatcher: the reply of an asynchronous command, or NULL when
 * it expired or its connection was lost. Runs on the main loop. */
static void
on_reply (gpointer user_data, const gchar *data, gsize length)
{
  PendingQuery *query = user_data;
  GArray *reply = ptz_serialize_create_array ();
  guint indx = 0;

  if (data != NULL) {
    g_array_append_vals (reply, data, (guint) length);
    query->pan = (gint32) ptz_deserialize_32bit (reply, &indx);
    query->tilt = (gint32) ptz_deserialize_32bit (reply, &indx);
    query->answered = indx == reply->len && indx == 8;
  }
  g_array_free (reply, TRUE);
  g_main_loop_quit (query->loop);
}

static gboolean
give_up (gpointer loop)
{
  g_main_loop_quit (loop);
  return G_SOURCE_REMOVE;
}

static void
commands (PTZSocketClientCommand *client)
{
  GArray *payload = ptz_serialize_create_array ();
  GArray *reply = ptz_serialize_create_array ();
  PendingQuery query = { g_main_loop_new (NULL, FALSE), FALSE, 0, 0 };
  gchar *name = NULL;
  guint indx = 0;
  guint timer;

  ptz_serialize_32bit (payload, PTZ_COMMAND_GET_DRIVER_NAME);
  if (exchange (client, payload, reply))
    name = ptz_deserialize_string (reply, &indx);
  printf ("driver name: %s\n", name != NULL ? name : "(none)");
  check (name != NULL, "synchronous name query");
  g_free (name);

  g_array_set_size (payload, 0);
  ptz_serialize_32bit (payload, PTZ_COMMAND_MOVE);
  ptz_serialize_32bit (payload, PTZ_MOVE_ABSOLUTE);
  ptz_serialize_32bit (payload, (guint32) -4550); /* pan -45.50 */
  ptz_serialize_32bit (payload, 2000);            /* tilt 20.00 */
  indx = 0;
  check (exchange (client, payload, reply) &&
             ptz_deserialize_32bit (reply, &indx) == PTZ_DRIVER_STATUS_READY,
         "synchronous move");

  /* The same query asynchronously: the reply comes to on_reply(). */
  g_array_set_size (payload, 0);
  ptz_serialize_32bit (payload, PTZ_COMMAND_QUERY_POSITION);
  timer = g_timeout_add_seconds (15, give_up, query.loop);
  if (ptz_socket_client_command_async_send (client, payload->data, payload->len, &query))
    g_main_loop_run (query.loop);
  g_source_remove (timer);
  printf ("position: pan %.2f, tilt %.2f\n", query.pan / 100.0, query.tilt / 100.0);
  check (query.answered && query.pan == -4550 && query.tilt == 2000, "asynchronous position query");

  g_main_loop_unref (query.loop);
  g_array_free (payload, TRUE);
  g_array_free (reply, TRUE);
}

static void
status_cache (guint32 index)
{
  gfloat pan = 0.0f, tilt = 0.0f;
  gint32 pan_status = PTZ_MOVE_STATUS_INVALID;
  PTZStatusCacheValueType type;
  gsize size = 0;
  PTZStatusCacheGroup *position = ptz_status_cache_setup_group (PTZ_SC_GROUP_POSITION, index, 3);

  /* Which C type each value is read into. */
  check (ptz_status_cache_param_info (PTZ_SC_GROUP_POSITION, PTZ_SC_PARAM_POSITION_PAN, NULL, &type,
                                      &size) &&
             type == PTZ_STATUS_CACHE_VALUE_FLOAT && size == sizeof pan,
         "the pan is a float");
  ptz_status_cache_add_param (position, PTZ_SC_PARAM_POSITION_PAN, &pan);
  ptz_status_cache_add_param (position, PTZ_SC_PARAM_POSITION_TILT, &tilt);
  ptz_status_cache_add_param (position, PTZ_SC_PARAM_POSITION_PAN_STATUS, &pan_status);
  check (ptz_status_cache_fetch_group (position), "status cache read");
  printf ("status cache: pan %.2f, tilt %.2f, pan %s\n", pan, tilt,
          pan_status == PTZ_MOVE_STATUS_IDLE ? "idle" : "not idle");
  check (pan == -45.5f && tilt == 20.0f && pan_status == PTZ_MOVE_STATUS_IDLE,
         "status cache values");
  ptz_status_cache_free_group (position);
}

/* Reads the speed entry of configuration 0; -1 when it cannot. */
static gint
get_speed (ptzlegacyconfigdynamicConfigurationLegacy *proxy)
{
  GVariant *boxed = NULL;
  GError *error = NULL;
  gint speed = -1;

  if (ptz_legacy_config_dynamic_configuration_legacy_call_get_configuration_entry_sync (
          proxy, 0, "Speed", &boxed, NULL, &error)) {
    GVariant *value = g_variant_get_variant (boxed);
    if (g_variant_is_of_type (value, G_VARIANT_TYPE_INT32))
      speed = g_variant_get_int32 (value);
    g_variant_unref (value);
    g_variant_unref (boxed);
  } else {
    printf ("GetConfigurationEntry failed: %s\n", error->message);
    g_error_free (error);
  }
  return speed;
}

static gboolean
set_speed (ptzlegacyconfigdynamicConfigurationLegacy *proxy, gint speed)
{
  GError *error = NULL;
  gboolean ok = ptz_legacy_config_dynamic_configuration_legacy_call_set_configuration_entry_sync (
      proxy, 0, "Speed", g_variant_new_variant (g_variant_new_int32 (speed)), NULL, &error);

  if (!ok) {
    printf ("SetConfigurationEntry %d refused: %s\n", speed, error->message);
    g_error_free (error);
  }
  return ok;
}

static void
bus (void)
{
  GError *error = NULL;
  ptzlegacyconfigdynamicConfigurationLegacy *proxy =
      ptz_legacy_config_dynamic_configuration_legacy_proxy_new_for_bus_sync (
          G_BUS_TYPE_SYSTEM, G_DBUS_PROXY_FLAGS_NONE, "com.brantel.PTZ.RefDriver",
          "/com/brantel/PTZ/RefDriver", NULL, &error);

  if (proxy == NULL) {
    printf ("no proxy: %s\n", error->message);
    g_error_free (error);
    check (FALSE, "configuration on D-Bus");
    return;
  }
  printf ("speed: %d\n", get_speed (proxy));
  check (set_speed (proxy, 80) && get_speed (proxy) == 80, "speed set to 80 over D-Bus");
  check (!set_speed (proxy, 500) && get_speed (proxy) == 80, "speed 500 refused");
  g_object_unref (proxy);
}

/* A driver that is not there: the client stays unconnected and a command
 * fails at once, the library's line telling why. */
static void
absent_driver (const gchar *socket_path)
{
  gchar *absent = g_strconcat (socket_path, ".absent", NULL);
  PTZSocketClientCommand *client = ptz_socket_client_command_new (absent, -1, SOCK_STREAM);
  GArray *payload = ptz_serialize_create_array ();
  GArray *reply = ptz_serialize_create_array ();

  ptz_serialize_32bit (payload, PTZ_COMMAND_GET_DRIVER_NAME);
  check (PTZ_SOCKET (client)->fd < 0 && !exchange (client, payload, reply),
         "a command to no driver fails");
  g_array_free (payload, TRUE);
  g_array_free (reply, TRUE);
  g_object_unref (client);
  g_free (absent);
}

int
main (int argc, char **argv)
{
  const gchar *files[] = { NULL, NULL };
  gchar *socket_path;
  gint index = 0;
  PTZSocketClientCommand *client;

  if (argc != 2) {
    fprintf (stderr, "usage: %s <the driver's configuration key file>\n", argv[0]);
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

  client = ptz_socket_client_command_new (socket_path, -1, SOCK_STREAM);
  ptz_socket_client_register_callback (PTZ_SOCKET_CLIENT (client), on_reply, NULL);
  check (wait_until_connected (client, 10 * G_USEC_PER_SEC), "connected to the driver");
  commands (client);
  g_object_unref (client);

  status_cache ((guint32) index);
  bus ();
  absent_driver (socket_path);

  g_free (socket_path);
  printf ("%s\n", failures == 0 ? "done" : "some steps failed");
  return failures == 0 ? 0 : 1;
}
