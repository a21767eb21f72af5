/* A simulated PTZ driver: it serves the framework's command channel, moves
 * a simulated pan/tilt head with a zoom lens on its main loop, publishes
 * the head's state in the status cache, keeps its presets in a versioned
 * key file and exposes its settings on the system bus.
 *
 *   ptz_sim_driver --config FILE
 *
 * The configuration is a key file; group "PTZSimDriver":
 *   Socket       path of the command socket (required)
 *   PresetFile   path of the preset file (required)
 *   Name         name of the head                        [sim-head]
 *   Speed        pan/tilt speed, degrees per second      [60]
 *   ZoomSpeed    zoom speed, magnification per second    [4]
 *   MinPan, MaxPan, MinTilt, MaxTilt  limits, degrees    [-180 180 -90 90]
 *   MaxZoom      largest magnification                   [10]
 *   UpdateIntervalMs  status-cache sample interval       [50]
 *   StatusIndex  status-cache index                      [0]
 *   DriverNumber selects the timing groups (1 or 2)      [1]
 *   Service      D-Bus service name (com.brantel.PTZ.<Service>) [SimDriver]
 *   PublishOnBus publish the settings on the system bus  [true]
 *   PanFlipped, TiltFlipped, AutoFlip  mounting, as published [false]
 *   PidFile      where to write the process id           [none]
 *   StateFile    where settings changed over D-Bus are kept across
 *                restarts, over the values above         [none: not kept]
 *   AllowedUsers, AllowedGroups  accounts and groups (names or numbers,
 *                separated by ';' or ',') that may connect to the command
 *                socket besides root and the driver's own account; either
 *                key turns the peer policy on          [anybody who can open it]
 *   MaxConnectionsPerUser  connections one other account may hold open,
 *                0 for no limit                          [32]
 *   PartialTimeoutMs  how long a connection may hold part of a command,
 *                0 for no limit                          [5000]
 * and "PTZDriverManager"/"NbrOfDrivers", read by the counter log. */
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <glib-unix.h>
#include <velmora_common.h>

#include "ptz_sim_head.h"
#include "ptz_sim_presets.h"
#include "ptz_sim_protocol.h"
#include "ptz_sim_publisher.h"
#include "ptz_sim_settings_bus.h"
#include "ptz_sim_state.h"

#define GROUP "PTZSimDriver"
#define EXIT_CONFIG 2

typedef struct {
  gchar *socket_path, *preset_path, *service, *pid_file, *state_path;
  gint update_ms;
  gboolean publish_on_bus;
  GArray *allowed_uids, *allowed_gids; /* NULL: no peer policy */
  gint max_connections_per_user, partial_timeout_ms;
  PtzSimPublisherConfig publish;

  PtzSimHead head;
  PTZDynamicalProperties *settings;
  PtzSimSettingsBus *bus;
  PtzSimPresets *presets;
  PtzSimState *state;
  PtzSimPublisher *publisher;
  PTZSocketServerCommand *server;
  GMainLoop *loop;

  gint64 last_step_us;
  gboolean moving, preset_move;
  guint16 served;
} Driver;

/* Settings that can be changed at run time, over D-Bus. */
static const gchar *const setting_names[] = { "name",     "speed",    "min_pan", "max_pan",
                                              "min_tilt", "max_tilt", NULL };

/* ---- configuration --------------------------------------------------- */

/* An integer key: the default when absent, FALSE when present but not a
 * number within [min, max]. */
static gboolean
config_int (const gchar *key, gint fallback, gint min, gint max, gint *value)
{
  gchar *text = ptz_settings_get_custom_string (GROUP, key);
  gint number = fallback;
  gboolean ok = text == NULL || (ptz_settings_get_custom_int (GROUP, key, &number) &&
                                 number >= min && number <= max);
  if (!ok)
    fprintf (stderr, "configuration: %s must be a number from %d to %d, not '%s'\n", key, min, max,
             text);
  g_free (text);
  *value = number;
  return ok;
}

static gboolean
config_bool (const gchar *key, gboolean fallback)
{
  gboolean value = fallback;
  ptz_settings_get_custom_boolean (GROUP, key, &value);
  return value;
}

static gchar *
config_string (const gchar *key, const gchar *fallback)
{
  gchar *text = ptz_settings_get_custom_string (GROUP, key);
  if (text == NULL || *text == '\0') {
    g_free (text);
    text = g_strdup (fallback);
  }
  return text;
}

static void
set_int (PTZDynamicalProperties *settings, const gchar *name, gint number)
{
  GValue *value = g_new0 (GValue, 1);
  g_value_init (value, G_TYPE_INT);
  g_value_set_int (value, number);
  ptz_dynamical_properties_set (settings, name, value);
}

static void
set_string (PTZDynamicalProperties *settings, const gchar *name, const gchar *text)
{
  GValue *value = g_new0 (GValue, 1);
  g_value_init (value, G_TYPE_STRING);
  g_value_set_string (value, text);
  ptz_dynamical_properties_set (settings, name, value);
}

static gint
get_int (Driver *d, const gchar *name)
{
  const GValue *value = ptz_dynamical_properties_get (d->settings, name);
  return value != NULL && G_VALUE_HOLDS_INT (value) ? g_value_get_int (value) : 0;
}

/* One element of a bus name and of an object path: letters, digits and
 * '_', not starting with a digit. */
static gboolean
service_name_valid (const gchar *name)
{
  gsize i;
  if (name[0] == '\0' || g_ascii_isdigit (name[0]) || strlen (name) > 200)
    return FALSE;
  for (i = 0; name[i] != '\0'; i++)
    if (!g_ascii_isalnum (name[i]) && name[i] != '_')
      return FALSE;
  return TRUE;
}

/* A list of accounts (or groups) as numbers; NULL when the key is absent,
 * FALSE in *ok when a name is unknown. */
static GArray *
config_ids (const gchar *key, gboolean groups, gboolean *ok)
{
  gchar *text = ptz_settings_get_custom_string (GROUP, key);
  gchar **names;
  GArray *ids;
  gint i;

  if (text == NULL)
    return NULL;
  ids = g_array_new (FALSE, FALSE, sizeof (guint32));
  names = g_strsplit_set (text, ";,", -1);
  for (i = 0; names[i] != NULL; i++) {
    const gchar *name = g_strstrip (names[i]);
    guint64 number = 0;
    guint32 id;
    if (*name == '\0')
      continue;
    if (g_ascii_string_to_unsigned (name, 10, 0, G_MAXUINT32 - 1, &number, NULL)) {
      id = (guint32) number;
    } else if (!groups && getpwnam (name) != NULL) {
      id = (guint32) getpwnam (name)->pw_uid;
    } else if (groups && getgrnam (name) != NULL) {
      id = (guint32) getgrnam (name)->gr_gid;
    } else {
      fprintf (stderr, "configuration: %s names an unknown %s '%s'\n", key,
               groups ? "group" : "account", name);
      *ok = FALSE;
      continue;
    }
    g_array_append_val (ids, id);
  }
  g_strfreev (names);
  g_free (text);
  return ids;
}

static gboolean
load_configuration (Driver *d, const gchar *path)
{
  PTZSettingsFile files[] = { { path, TRUE }, { NULL, FALSE } };
  gint speed, zoom_speed, min_pan, max_pan, min_tilt, max_tilt, max_zoom, index, number;
  gchar *name;

  if (!ptz_settings_load_config_gkf (files, NULL)) {
    fprintf (stderr, "configuration: cannot load %s\n", path);
    return FALSE;
  }
  d->socket_path = ptz_settings_get_custom_string (GROUP, "Socket");
  d->preset_path = ptz_settings_get_custom_string (GROUP, "PresetFile");
  if (d->socket_path == NULL || d->preset_path == NULL) {
    fprintf (stderr, "configuration: %s needs Socket and PresetFile in group %s\n", path, GROUP);
    return FALSE;
  }
  if (!config_int ("Speed", 60, 1, 360, &speed) ||
      !config_int ("ZoomSpeed", 4, 1, 100, &zoom_speed) ||
      !config_int ("MinPan", -180, -180, 179, &min_pan) ||
      !config_int ("MaxPan", 180, -179, 180, &max_pan) ||
      !config_int ("MinTilt", -90, -180, 179, &min_tilt) ||
      !config_int ("MaxTilt", 90, -179, 180, &max_tilt) ||
      !config_int ("MaxZoom", 10, 1, 1000, &max_zoom) ||
      !config_int ("UpdateIntervalMs", 50, 10, 1000, &d->update_ms) ||
      !config_int ("StatusIndex", 0, 0, 99, &index) ||
      !config_int ("DriverNumber", 1, 0, 99, &number))
    return FALSE;
  if (min_pan >= max_pan || min_tilt >= max_tilt) {
    fprintf (stderr, "configuration: each minimum must lie below its maximum\n");
    return FALSE;
  }
  d->service = config_string ("Service", "SimDriver");
  if (!service_name_valid (d->service)) {
    fprintf (stderr, "configuration: Service '%s' is not a single D-Bus name element\n",
             d->service);
    return FALSE;
  }
  d->pid_file = ptz_settings_get_custom_string (GROUP, "PidFile");
  d->state_path = ptz_settings_get_custom_string (GROUP, "StateFile");
  if (!config_int ("MaxConnectionsPerUser", PTZ_SOCKET_SERVER_DEFAULT_MAX_CONNECTIONS_PER_USER, 0,
                   100000, &d->max_connections_per_user) ||
      !config_int ("PartialTimeoutMs", PTZ_SOCKET_SERVER_DEFAULT_PARTIAL_TIMEOUT_MS, 0, 3600000,
                   &d->partial_timeout_ms))
    return FALSE;
  {
    gboolean ok = TRUE;
    d->allowed_uids = config_ids ("AllowedUsers", FALSE, &ok);
    d->allowed_gids = config_ids ("AllowedGroups", TRUE, &ok);
    if (!ok)
      return FALSE;
  }
  d->publish_on_bus = config_bool ("PublishOnBus", TRUE);
  d->publish.index = (guint32) index;
  d->publish.driver_number = number;
  d->publish.update_rate = 1000 / d->update_ms;
  d->publish.pan_flipped = config_bool ("PanFlipped", FALSE);
  d->publish.tilt_flipped = config_bool ("TiltFlipped", FALSE);
  d->publish.auto_flip = config_bool ("AutoFlip", FALSE);

  ptz_sim_head_init (&d->head, speed, zoom_speed, min_pan, max_pan, min_tilt, max_tilt, 1,
                     max_zoom);
  name = config_string ("Name", "sim-head");
  set_string (d->settings, "name", name);
  g_free (name);
  set_int (d->settings, "speed", speed);
  set_int (d->settings, "min_pan", min_pan);
  set_int (d->settings, "max_pan", max_pan);
  set_int (d->settings, "min_tilt", min_tilt);
  set_int (d->settings, "max_tilt", max_tilt);
  return TRUE;
}

/* ---- settings changed at run time ------------------------------------ */

/* Refuses values that would leave the head unusable. */
static gchar *
check_setting (const gchar *name, const GValue *value, gpointer data)
{
  Driver *d = data;
  gint n, min = 0, max = 0;
  if (G_VALUE_HOLDS_STRING (value)) {
    const gchar *text = g_value_get_string (value);
    gsize length = text != NULL ? strlen (text) : 0;
    return length >= 1 && length <= 63 && g_utf8_validate (text, -1, NULL)
               ? NULL
               : g_strdup ("name must hold 1 to 63 characters of UTF-8");
  }
  if (!G_VALUE_HOLDS_INT (value))
    return g_strdup_printf ("%s cannot be changed", name);
  n = g_value_get_int (value);
  if (g_str_equal (name, "speed"))
    return n >= 1 && n <= 360 ? NULL : g_strdup_printf ("speed %d is outside 1..360", n);
  if (g_str_has_suffix (name, "_pan")) {
    min = g_str_equal (name, "min_pan") ? n : get_int (d, "min_pan");
    max = g_str_equal (name, "max_pan") ? n : get_int (d, "max_pan");
  } else {
    min = g_str_equal (name, "min_tilt") ? n : get_int (d, "min_tilt");
    max = g_str_equal (name, "max_tilt") ? n : get_int (d, "max_tilt");
  }
  if (min < -180 || max > 180 || min >= max)
    return g_strdup_printf ("%s %d would give the range %d..%d", name, n, min, max);
  return NULL;
}

static void
on_setting_changed (PTZDynamicalProperties *settings, const gchar *name, gpointer data)
{
  Driver *d = data;
  const GValue *value = ptz_dynamical_properties_get (settings, name);
  gchar *text = ptz_gvalue_utils_string_from_gvalue (value);
  GError *error = NULL;
  printf ("setting %s is now %s\n", name, text != NULL ? text : "?");
  g_free (text);
  if (!ptz_sim_state_save (d->state, name, value, &error)) {
    fprintf (stderr, "state: cannot keep %s: %s\n", name, error->message);
    g_error_free (error);
  }
  if (g_str_equal (name, "speed")) {
    ptz_sim_head_set_speed (&d->head, get_int (d, "speed"));
  } else if (g_str_has_suffix (name, "_pan") || g_str_has_suffix (name, "_tilt")) {
    ptz_sim_head_set_limits (&d->head, PTZ_SIM_PAN, get_int (d, "min_pan"), get_int (d, "max_pan"));
    ptz_sim_head_set_limits (&d->head, PTZ_SIM_TILT, get_int (d, "min_tilt"),
                             get_int (d, "max_tilt"));
    ptz_sim_publisher_limits (d->publisher, &d->head);
  }
}

/* ---- motion ---------------------------------------------------------- */

static void
publish_motion (Driver *d)
{
  gboolean moving = ptz_sim_head_moving (&d->head);
  ptz_sim_publisher_position (d->publisher, &d->head);
  if (moving && !d->moving) {
    ptz_sim_publisher_move_started (d->publisher);
  } else if (!moving && d->moving) {
    ptz_sim_publisher_move_done (d->publisher);
    printf ("head at rest: pan %.2f tilt %.2f zoom %.2f\n", d->head.axis[PTZ_SIM_PAN].position,
            d->head.axis[PTZ_SIM_TILT].position, d->head.axis[PTZ_SIM_ZOOM].position);
    if (d->preset_move) {
      d->preset_move = FALSE;
      ptz_sim_publisher_preset_move (d->publisher, FALSE);
    }
  }
  d->moving = moving;
}

static gboolean
on_tick (gpointer data)
{
  Driver *d = data;
  gint64 now = g_get_monotonic_time ();
  ptz_sim_head_step (&d->head, (now - d->last_step_us) / 1e6);
  d->last_step_us = now;
  publish_motion (d);
  return G_SOURCE_CONTINUE;
}

/* A new command starts from the head's position at this moment. */
static void
catch_up (Driver *d)
{
  on_tick (d);
}

/* ---- commands -------------------------------------------------------- */

static PtzSimStatus
do_move (Driver *d, GArray *request, guint *indx)
{
  guint32 mode;
  gint32 pan, tilt, zoom;
  if (!ptz_sim_read_u32 (request, indx, &mode) || !ptz_sim_read_i32 (request, indx, &pan) ||
      !ptz_sim_read_i32 (request, indx, &tilt) || !ptz_sim_read_i32 (request, indx, &zoom))
    return PTZ_SIM_ERR_MALFORMED;
  switch (mode) {
  case PTZ_MOVE_ABSOLUTE:
    ptz_sim_head_move_to (&d->head, ptz_sim_from_wire (pan), ptz_sim_from_wire (tilt),
                          ptz_sim_from_wire (zoom));
    break;
  case PTZ_MOVE_RELATIVE:
    ptz_sim_head_move_by (&d->head, ptz_sim_from_wire (pan), ptz_sim_from_wire (tilt),
                          ptz_sim_from_wire (zoom));
    break;
  case PTZ_MOVE_CONTINUOUS:
    if (ABS ((gint64) pan) > 10000 || ABS ((gint64) tilt) > 10000 || ABS ((gint64) zoom) > 10000)
      return PTZ_SIM_ERR_BAD_ARGUMENT;
    ptz_sim_head_move_continuous (&d->head, ptz_sim_from_wire (pan), ptz_sim_from_wire (tilt),
                                  ptz_sim_from_wire (zoom));
    break;
  default:
    return PTZ_SIM_ERR_UNSUPPORTED;
  }
  return PTZ_SIM_OK;
}

static PtzSimStatus
do_preset (Driver *d, guint32 command, GArray *request, guint *indx)
{
  gchar *name = ptz_sim_read_string (request, indx);
  PtzSimStatus status = PTZ_SIM_OK;
  double pan, tilt, zoom;
  GError *error = NULL;

  if (name == NULL)
    return PTZ_SIM_ERR_MALFORMED;
  if (!ptz_sim_preset_name_valid (name)) {
    status = PTZ_SIM_ERR_BAD_ARGUMENT;
  } else if (command == PTZ_COMMAND_SET_PRESET) {
    if (!ptz_sim_presets_store (d->presets, name, d->head.axis[PTZ_SIM_PAN].position,
                                d->head.axis[PTZ_SIM_TILT].position,
                                d->head.axis[PTZ_SIM_ZOOM].position, &error)) {
      fprintf (stderr, "presets: cannot store '%s': %s\n", name, error->message);
      g_error_free (error);
      status = PTZ_SIM_ERR_STORAGE;
    }
  } else if (!ptz_sim_presets_lookup (d->presets, name, &pan, &tilt, &zoom)) {
    status = PTZ_SIM_ERR_NO_SUCH_PRESET;
  } else {
    ptz_sim_head_move_to (&d->head, pan, tilt, zoom);
    d->preset_move = TRUE;
    ptz_sim_publisher_preset_move (d->publisher, TRUE);
  }
  g_free (name);
  return status;
}

static void
add_parameter (GArray *reply, PTZParameter kind, const gchar *name, const gchar *value,
               const gchar *range, PTZParameterGroup group, gboolean writable, const gchar *text)
{
  PTZDriverParameterItem item;
  item.field1 = kind;
  item.field2 = (gchar *) name;
  item.field3 = (gchar *) value;
  item.field4 = (gchar *) range;
  item.field5 = group;
  item.field6 = writable ? 1 : 0;
  item.field7 = (gchar *) text;
  ptz_driver_parameter_item_serialize (&item, reply);
}

static void
add_setting (Driver *d, GArray *reply, const gchar *name, const gchar *range,
             PTZParameterGroup group, const gchar *text)
{
  const GValue *value = ptz_dynamical_properties_get (d->settings, name);
  gchar *value_text = ptz_gvalue_utils_string_from_gvalue (value);
  PTZParameter kind = G_VALUE_HOLDS_STRING (value) ? PTZ_PARAMETER_TEXT : PTZ_PARAMETER_INTEGER;
  add_parameter (reply, kind, name, value_text != NULL ? value_text : "", range, group, TRUE, text);
  g_free (value_text);
}

static void
do_driver_parameters (Driver *d, GArray *reply)
{
  gchar *interval = g_strdup_printf ("%d", d->update_ms);
  ptz_serialize_32bit (reply, 8);
  add_setting (d, reply, "name", "1-63 characters", PTZ_PARAMETER_GROUP_GENERAL,
               "Name of the head");
  add_setting (d, reply, "speed", "1..360", PTZ_PARAMETER_GROUP_GENERAL,
               "Pan and tilt speed, degrees per second");
  add_setting (d, reply, "min_pan", "-180..180", PTZ_PARAMETER_GROUP_LIMIT, "Smallest pan angle");
  add_setting (d, reply, "max_pan", "-180..180", PTZ_PARAMETER_GROUP_LIMIT, "Largest pan angle");
  add_setting (d, reply, "min_tilt", "-180..180", PTZ_PARAMETER_GROUP_LIMIT, "Smallest tilt angle");
  add_setting (d, reply, "max_tilt", "-180..180", PTZ_PARAMETER_GROUP_LIMIT, "Largest tilt angle");
  add_parameter (reply, PTZ_PARAMETER_CONSTANT_INTEGER, "update_interval", interval, "",
                 PTZ_PARAMETER_GROUP_VARIOUS, FALSE, "Status cache sample interval, ms");
  add_parameter (reply, PTZ_PARAMETER_CONSTANT_BOOLEAN, "auto_flip",
                 d->publish.auto_flip ? "true" : "false", "", PTZ_PARAMETER_GROUP_VARIOUS, FALSE,
                 "Head turns over at the tilt end");
  g_free (interval);
}

static void
do_position (Driver *d, GArray *reply)
{
  int i;
  for (i = 0; i < PTZ_SIM_AXES; i++)
    ptz_serialize_32bit (reply, (guint32) ptz_sim_to_wire (d->head.axis[i].position));
  for (i = 0; i < PTZ_SIM_AXES; i++)
    ptz_serialize_32bit (reply, (guint32) ptz_sim_head_status (&d->head, (PtzSimAxisId) i));
}

static PtzSimStatus
do_command (Driver *d, guint32 command, GArray *request, guint *indx, GArray *body)
{
  switch (command) {
  case PTZ_COMMAND_MOVE:
    return do_move (d, request, indx);
  case PTZ_COMMAND_STOP:
    ptz_sim_head_stop (&d->head);
    return PTZ_SIM_OK;
  case PTZ_COMMAND_SET_PRESET:
  case PTZ_COMMAND_GOTO_PRESET:
    return do_preset (d, command, request, indx);
  case PTZ_COMMAND_QUERY_POSITION:
    do_position (d, body);
    return PTZ_SIM_OK;
  case PTZ_COMMAND_GET_CAPABILITIES:
    ptz_serialize_32bit (
        body, PTZ_DRIVER_MOVE_CAPABILITIES_PAN | PTZ_DRIVER_MOVE_CAPABILITIES_REL_PAN |
                  PTZ_DRIVER_MOVE_CAPABILITIES_CONT_PAN | PTZ_DRIVER_MOVE_CAPABILITIES_TILT |
                  PTZ_DRIVER_MOVE_CAPABILITIES_REL_TILT | PTZ_DRIVER_MOVE_CAPABILITIES_CONT_TILT |
                  PTZ_DRIVER_MOVE_CAPABILITIES_ZOOM | PTZ_DRIVER_MOVE_CAPABILITIES_REL_ZOOM |
                  PTZ_DRIVER_MOVE_CAPABILITIES_CONT_ZOOM |
                  PTZ_DRIVER_MOVE_CAPABILITIES_SPEED_CONTROL);
    ptz_serialize_32bit (body, PTZ_DRIVER_EXTRA_CAPABILITIES_DRIVER_PRESET |
                                   PTZ_DRIVER_EXTRA_CAPABILITIES_STATUS_CACHE_POSITION |
                                   PTZ_DRIVER_EXTRA_CAPABILITIES_ASYNC_REPLY |
                                   PTZ_DRIVER_EXTRA_CAPABILITIES_PTZCOUNTER |
                                   PTZ_DRIVER_EXTRA_CAPABILITIES_CMD_IFSOCKET);
    return PTZ_SIM_OK;
  case PTZ_COMMAND_GET_DRIVER_NAME: {
    const GValue *name = ptz_dynamical_properties_get (d->settings, "name");
    ptz_serialize_string (body, g_value_get_string (name));
    return PTZ_SIM_OK;
  }
  case PTZ_COMMAND_GET_DRIVER_PARAMETERS:
    do_driver_parameters (d, body);
    return PTZ_SIM_OK;
  default:
    return PTZ_SIM_ERR_UNSUPPORTED;
  }
}

static gboolean
on_command (gpointer data, PTZSocketServerHandle *handle, const gchar *bytes, gsize length)
{
  Driver *d = data;
  GArray *request = ptz_sim_array_from_bytes (bytes, length);
  GArray *body = ptz_serialize_create_array ();
  GArray *reply = ptz_serialize_create_array ();
  guint indx = 0;
  guint32 command = (guint32) PTZ_COMMAND_ERROR_REPLY;
  PtzSimStatus status;

  ptz_sim_publisher_request_started (d->publisher);
  catch_up (d);
  if (!ptz_sim_read_u32 (request, &indx, &command))
    status = PTZ_SIM_ERR_MALFORMED;
  else
    status = do_command (d, command, request, &indx, body);
  /* Trailing bytes mean the peer and this driver disagree on the format. */
  if (status == PTZ_SIM_OK && indx != request->len)
    status = PTZ_SIM_ERR_MALFORMED;
  ptz_serialize_32bit (reply, command);
  ptz_serialize_32bit (reply, status);
  if (status == PTZ_SIM_OK)
    g_array_append_vals (reply, body->data, body->len);
  publish_motion (d);

  printf ("request %s: %s\n", ptz_sim_command_text (command), ptz_sim_status_text (status));
  if (!ptz_socket_server_send (handle, reply->data, reply->len))
    printf ("reply to %s could not be sent\n", ptz_sim_command_text (command));
  ptz_sim_publisher_request_done (d->publisher, ++d->served);

  g_array_free (reply, TRUE);
  g_array_free (body, TRUE);
  g_array_free (request, TRUE);
  return TRUE;
}

/* ---- start and stop -------------------------------------------------- */

static void
apply_connection_limits (Driver *d)
{
  PTZSocketServer *server = PTZ_SOCKET_SERVER (d->server);
  guint i;
  ptz_socket_server_set_max_connections_per_user (server, (guint) d->max_connections_per_user);
  ptz_socket_server_set_partial_timeout (server, (guint) d->partial_timeout_ms);
  /* Either key turns the policy on, even when it lists nobody: then only
   * root and this driver's own account may connect. */
  if (d->allowed_uids != NULL || d->allowed_gids != NULL)
    ptz_socket_server_allow_user (server, geteuid ());
  for (i = 0; d->allowed_uids != NULL && i < d->allowed_uids->len; i++)
    ptz_socket_server_allow_user (server, (uid_t) g_array_index (d->allowed_uids, guint32, i));
  for (i = 0; d->allowed_gids != NULL && i < d->allowed_gids->len; i++)
    ptz_socket_server_allow_group (server, (gid_t) g_array_index (d->allowed_gids, guint32, i));
  if (d->allowed_uids != NULL || d->allowed_gids != NULL)
    printf ("peer policy: %u accounts and %u groups besides root and the driver's own\n",
            d->allowed_uids != NULL ? d->allowed_uids->len : 0,
            d->allowed_gids != NULL ? d->allowed_gids->len : 0);
}

static gboolean
on_signal (gpointer data)
{
  g_main_loop_quit (data);
  return G_SOURCE_CONTINUE;
}

static gboolean
write_pid_file (const gchar *path)
{
  gchar *text = g_strdup_printf ("%ld\n", (long) getpid ());
  GError *error = NULL;
  gboolean ok = g_file_set_contents (path, text, -1, &error);
  if (!ok) {
    fprintf (stderr, "cannot write %s: %s\n", path, error->message);
    g_error_free (error);
  }
  g_free (text);
  return ok;
}

static int
run (Driver *d)
{
  guint tick;

  d->presets = ptz_sim_presets_open (d->preset_path);
  d->publisher = ptz_sim_publisher_new (&d->publish, &d->head);
  if (d->publisher == NULL) {
    fprintf (stderr, "status cache: cannot publish under index %u\n", d->publish.index);
    return 1;
  }
  d->server = ptz_socket_server_command_new (d->socket_path, SOCK_STREAM);
  if (PTZ_SOCKET (d->server)->fd < 0) {
    fprintf (stderr, "cannot listen on %s\n", d->socket_path);
    return 1;
  }
  ptz_socket_server_register_callback (PTZ_SOCKET_SERVER (d->server), on_command, d);
  apply_connection_limits (d);
  g_signal_connect (d->settings, "notify_change", G_CALLBACK (on_setting_changed), d);
  /* Settings changed over D-Bus before a restart, applied as any change. */
  d->state = ptz_sim_state_open (d->state_path);
  ptz_sim_state_restore (d->state, d->settings, setting_names, check_setting, d);
  if (d->publish_on_bus) {
    d->bus = ptz_sim_settings_bus_new (d->settings, setting_names, d->service, check_setting, d);
    if (d->bus == NULL)
      fprintf (stderr, "settings are not published on the system bus\n");
  }
  if (d->pid_file != NULL && !write_pid_file (d->pid_file))
    return 1;

  d->loop = g_main_loop_new (NULL, FALSE);
  g_unix_signal_add (SIGTERM, on_signal, d->loop);
  g_unix_signal_add (SIGINT, on_signal, d->loop);
  d->last_step_us = g_get_monotonic_time ();
  tick = g_timeout_add ((guint) d->update_ms, on_tick, d);
  printf ("driver ready: socket %s, status index %u, %u presets, settings %s\n", d->socket_path,
          d->publish.index, ptz_sim_presets_count (d->presets),
          d->bus != NULL ? "on the system bus" : "not on the bus");
  g_main_loop_run (d->loop);
  printf ("driver stopping\n");
  g_source_remove (tick);
  if (d->pid_file != NULL)
    unlink (d->pid_file);
  return 0;
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
main (int argc, char **argv)
{
  gchar *config = NULL;
  GOptionEntry entries[] = {
    { "config", 'c', 0, G_OPTION_ARG_FILENAME, &config, "Configuration file", "FILE" },
    { NULL, 0, 0, 0, NULL, NULL, NULL },
  };
  GOptionContext *context = g_option_context_new ("- simulated PTZ driver");
  GError *error = NULL;
  Driver d;
  int status;

  memset (&d, 0, sizeof d);
  ptz_log_set_handler (show_library_line, "ptz_sim_driver", NULL);
  setvbuf (stdout, NULL, _IOLBF, 0);
  /* A commander that goes away must not take the driver with it. */
  signal (SIGPIPE, SIG_IGN);
  g_option_context_add_main_entries (context, entries, NULL);
  if (!g_option_context_parse (context, &argc, &argv, &error) || config == NULL) {
    fprintf (stderr, "%s\n", error != NULL ? error->message : "--config FILE is required");
    g_clear_error (&error);
    g_option_context_free (context);
    return EXIT_CONFIG;
  }
  g_option_context_free (context);

  d.settings = ptz_dynamical_properties_new ();
  status = load_configuration (&d, config) ? run (&d) : EXIT_CONFIG;

  ptz_sim_settings_bus_free (d.bus);
  g_clear_object (&d.server);
  ptz_sim_publisher_free (d.publisher);
  ptz_sim_presets_free (d.presets);
  ptz_sim_state_free (d.state);
  g_object_unref (d.settings);
  if (d.loop != NULL)
    g_main_loop_unref (d.loop);
  g_free (d.socket_path);
  g_free (d.preset_path);
  g_free (d.service);
  g_free (d.pid_file);
  g_free (d.state_path);
  if (d.allowed_uids != NULL)
    g_array_free (d.allowed_uids, TRUE);
  if (d.allowed_gids != NULL)
    g_array_free (d.allowed_gids, TRUE);
  g_free (config);
  return status;
}
