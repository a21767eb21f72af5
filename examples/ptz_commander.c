/* A commanding process: it drives the simulated PTZ driver over the command
 * channel, follows the head's motion in the status cache, changes a driver
 * setting over D-Bus, and rides over a restart of the driver. It prints a
 * transcript of what it sends, what comes back and what it reads.
 *
 *   ptz_commander --socket PATH [--index N] [--service NAME]
 *                 [--restart-hook COMMAND] [--wait-ms MS]
 *
 * --restart-hook runs COMMAND through /bin/sh halfway through the run; it
 * is expected to stop the driver (something else starts it again), and the
 * commander waits for the driver to come back. Exit status 0 when every
 * step succeeded, 1 otherwise, 2 for bad options. */
#define _POSIX_C_SOURCE 200809L
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

#include <velmora_common.h>

#include "ptz_sim_protocol.h"

#define LEGACY_INTERFACE "com.brantel.Configuration.Legacy"
#define MOVE_TIMEOUT_MS 8000

typedef struct {
  gchar *socket_path, *service, *restart_hook;
  gint index, wait_ms;

  PTZSocketClientCommand *client;
  guint requests;
  gint failures;
  gint64 start_us;

  /* The Position group as read back from the status cache. */
  PTZStatusCacheGroup *position;
  gfloat pan, tilt, zoom;
  gint32 status[3];

  GDBusConnection *bus; /* held for the whole run, see connect_bus */
  PTZGDBusClient *dbus;
  GDBusProxy *proxy;
  guint changed_subscription;
  guint announcements;
} Commander;

/* An asynchronous command on its way; the reply dispatcher fills it in. */
typedef struct {
  gboolean done, abandoned, lost;
  guint32 status;
} AsyncCall;

/* ---- transcript ------------------------------------------------------ */

static void G_GNUC_PRINTF (2, 3) say (Commander *c, const gchar *format, ...)
{
  va_list args;
  printf ("[%5.2fs] ", (g_get_monotonic_time () - c->start_us) / 1e6);
  va_start (args, format);
  vprintf (format, args);
  va_end (args);
  putchar ('\n');
}

static void G_GNUC_PRINTF (2, 3) failed (Commander *c, const gchar *format, ...)
{
  va_list args;
  gchar *text;
  va_start (args, format);
  text = g_strdup_vprintf (format, args);
  va_end (args);
  say (c, "FAILED: %s", text);
  g_free (text);
  c->failures++;
}

/* Lets the main context run (socket events, reconnection, D-Bus). */
static void
pump (int ms)
{
  gint64 end = g_get_monotonic_time () + (gint64) ms * 1000;
  while (g_get_monotonic_time () < end)
    if (!g_main_context_iteration (NULL, FALSE))
      g_usleep (2000);
}

static gchar *
flag_names (GType type, guint32 word)
{
  GFlagsClass *klass = g_type_class_ref (type);
  GString *text = g_string_new (NULL);
  guint i;
  for (i = 0; i < klass->n_values; i++) {
    guint32 bit = klass->values[i].value;
    if (bit != 0 && (word & bit) == bit)
      g_string_append_printf (text, "%s%s", text->len ? " " : "", klass->values[i].value_nick);
  }
  g_type_class_unref (klass);
  return g_string_free (text, FALSE);
}

/* ---- command channel ------------------------------------------------- */

static GArray *
command (guint32 code)
{
  return ptz_serialize_32bit (ptz_serialize_create_array (), code);
}

static GArray *
move_command (PTZMove mode, double pan, double tilt, double zoom)
{
  GArray *payload = command (PTZ_COMMAND_MOVE);
  ptz_serialize_32bit (payload, mode);
  ptz_serialize_32bit (payload, (guint32) ptz_sim_to_wire (pan));
  ptz_serialize_32bit (payload, (guint32) ptz_sim_to_wire (tilt));
  ptz_serialize_32bit (payload, (guint32) ptz_sim_to_wire (zoom));
  return payload;
}

static GArray *
preset_command (PTZCommand code, const gchar *name)
{
  return ptz_serialize_string (command (code), name);
}

/* Checks the reply's header; on success *indx points at its results. */
static gboolean
reply_ok (Commander *c, guint32 sent, GArray *reply, guint *indx, gboolean quiet)
{
  guint32 echoed, status;
  if (!ptz_sim_read_u32 (reply, indx, &echoed) || !ptz_sim_read_u32 (reply, indx, &status) ||
      echoed != sent) {
    failed (c, "%s: the reply is malformed", ptz_sim_command_text (sent));
    return FALSE;
  }
  if (status != PTZ_SIM_OK) {
    if (!quiet)
      failed (c, "%s: %s", ptz_sim_command_text (sent), ptz_sim_status_text (status));
    return FALSE;
  }
  return TRUE;
}

/* Sends synchronously (the payload is consumed) and checks the reply's
 * header. The reply is the caller's, with *indx at its results; NULL when
 * nothing came back or the driver refused. `what` describes the command in
 * the transcript (NULL: its name); `quiet` keeps it out. */
static GArray *
request (Commander *c, GArray *payload, const gchar *what, gboolean quiet, guint *indx)
{
  guint8 buffer[PTZ_SOCKET_MESSAGE_MAX];
  gsize length = 0;
  guint32 code;
  GArray *reply = NULL;

  *indx = 0;
  ptz_sim_read_u32 (payload, indx, &code);
  if (!quiet)
    say (c, "> %s (sync)", what != NULL ? what : ptz_sim_command_text (code));
  if (ptz_socket_client_command_sync_send (c->client, payload->data, payload->len, buffer,
                                           &length)) {
    c->requests++;
    reply = ptz_sim_array_from_bytes (buffer, length);
    *indx = 0;
    if (!reply_ok (c, code, reply, indx, quiet)) {
      g_array_free (reply, TRUE);
      reply = NULL;
    }
  } else if (!quiet) {
    failed (c, "%s: no reply from the driver", ptz_sim_command_text (code));
  }
  g_array_free (payload, TRUE);
  return reply;
}

/* A synchronous command whose reply carries nothing but its status. */
static gboolean
simple_request (Commander *c, GArray *payload, const gchar *what)
{
  guint indx;
  GArray *reply = request (c, payload, what, FALSE, &indx);
  if (reply == NULL)
    return FALSE;
  say (c, "< %s: ok", what);
  g_array_free (reply, TRUE);
  return TRUE;
}

static void
on_reply (gpointer data, const gchar *bytes, gsize length)
{
  AsyncCall *call = data;
  GArray *reply;
  guint indx = 4;
  if (bytes == NULL) {
    /* Expired, or the connection went away before the reply came. */
    call->lost = TRUE;
  } else {
    reply = ptz_sim_array_from_bytes (bytes, length);
    if (!ptz_sim_read_u32 (reply, &indx, &call->status))
      call->status = PTZ_SIM_ERR_MALFORMED;
    g_array_free (reply, TRUE);
  }
  call->done = TRUE;
  if (call->abandoned)
    g_free (call);
}

static void
free_call (gpointer call, gpointer data)
{
  (void) data;
  g_free (call);
}

/* Sends asynchronously and waits (serving the main context) for the reply. */
static gboolean
async_request (Commander *c, GArray *payload, const gchar *what)
{
  AsyncCall *call = g_new0 (AsyncCall, 1);
  gint64 deadline = g_get_monotonic_time () + 5 * G_USEC_PER_SEC;
  gboolean ok = FALSE;

  say (c, "> %s (async)", what);
  if (!ptz_socket_client_command_async_send (c->client, payload->data, payload->len, call)) {
    failed (c, "%s: not sent", what);
    g_free (call);
    g_array_free (payload, TRUE);
    return FALSE;
  }
  g_array_free (payload, TRUE);
  while (!call->done && g_get_monotonic_time () < deadline)
    pump (10);
  if (!call->done) {
    call->abandoned = TRUE; /* the dispatcher frees it, should it still come */
    failed (c, "%s: no reply within 5 s", what);
    return FALSE;
  }
  c->requests++;
  if (call->lost)
    failed (c, "%s: the connection was lost before the reply", what);
  else if (call->status != PTZ_SIM_OK)
    failed (c, "%s: %s", what, ptz_sim_status_text (call->status));
  else {
    say (c, "< %s: ok (reply delivered from the main loop)", what);
    ok = TRUE;
  }
  g_free (call);
  return ok;
}

/* ---- what the driver tells and publishes ----------------------------- */

static void
show_capabilities (Commander *c)
{
  guint indx;
  guint32 move, extra;
  GArray *reply = request (c, command (PTZ_COMMAND_GET_CAPABILITIES), NULL, FALSE, &indx);
  if (reply == NULL)
    return;
  if (ptz_sim_read_u32 (reply, &indx, &move) && ptz_sim_read_u32 (reply, &indx, &extra)) {
    gchar *m = flag_names (ptz_driver_move_capabilities_get_type (), move);
    gchar *e = flag_names (ptz_driver_extra_capabilities_get_type (), extra);
    say (c, "< move capabilities: %s", m);
    say (c, "< extra capabilities: %s", e);
    g_free (m);
    g_free (e);
  } else {
    failed (c, "capabilities: reply too short");
  }
  g_array_free (reply, TRUE);
}

static void
show_parameters (Commander *c)
{
  guint indx;
  guint32 count = 0, i;
  GArray *reply = request (c, command (PTZ_COMMAND_GET_DRIVER_PARAMETERS), NULL, FALSE, &indx);
  if (reply == NULL)
    return;
  if (!ptz_sim_read_u32 (reply, &indx, &count))
    failed (c, "driver parameters: reply too short");
  for (i = 0; i < count; i++) {
    guint32 kind, group, writable;
    gchar *name, *value, *range, *text;
    guint before = indx;
    ptz_driver_parameter_item_deserialize (reply, &indx, &kind, &name, &value, &range, &group,
                                           &writable, &text);
    if (indx == before) {
      failed (c, "driver parameters: item %u does not fit the reply", i);
      break;
    }
    say (c, "< parameter %-16s = %-10s %-16s %s%s", name, value, range, text,
         writable ? " (settable over D-Bus)" : "");
    g_free (name);
    g_free (value);
    g_free (range);
    g_free (text);
  }
  g_array_free (reply, TRUE);
}

static gboolean
query_position (Commander *c, gboolean quiet)
{
  guint indx;
  gint32 v[6];
  int i;
  GArray *reply = request (c, command (PTZ_COMMAND_QUERY_POSITION), NULL, quiet, &indx);
  gboolean ok = reply != NULL;
  for (i = 0; ok && i < 6; i++)
    ok = ptz_sim_read_i32 (reply, &indx, &v[i]);
  if (ok && !quiet)
    say (c, "< position: pan %.2f tilt %.2f zoom %.2f (%s)", ptz_sim_from_wire (v[0]),
         ptz_sim_from_wire (v[1]), ptz_sim_from_wire (v[2]),
         v[3] == PTZ_MOVE_STATUS_MOVING || v[4] == PTZ_MOVE_STATUS_MOVING ? "moving" : "idle");
  if (reply != NULL)
    g_array_free (reply, TRUE);
  return ok;
}

static gboolean
read_status_cache (Commander *c)
{
  return c->position != NULL && ptz_status_cache_fetch_group (c->position);
}

static gboolean
head_moving (Commander *c)
{
  int i;
  for (i = 0; i < 3; i++)
    if (c->status[i] == PTZ_MOVE_STATUS_MOVING)
      return TRUE;
  return FALSE;
}

static void
show_status_cache (Commander *c)
{
  say (c, "  status cache: pan %7.2f tilt %7.2f zoom %5.2f  %s", c->pan, c->tilt, c->zoom,
       head_moving (c) ? "moving" : "idle");
}

/* Reads the position back from the status cache while the head moves,
 * until all axes are at rest. */
static gboolean
follow_motion (Commander *c)
{
  gint64 deadline = g_get_monotonic_time () + MOVE_TIMEOUT_MS * 1000;
  while (g_get_monotonic_time () < deadline) {
    if (!read_status_cache (c)) {
      failed (c, "the status cache cannot be read");
      return FALSE;
    }
    show_status_cache (c);
    if (!head_moving (c))
      return TRUE;
    pump (250);
  }
  failed (c, "the head did not come to rest within %d s", MOVE_TIMEOUT_MS / 1000);
  return FALSE;
}

/* ---- D-Bus ----------------------------------------------------------- */

static void
on_properties_changed (GDBusConnection *connection, const gchar *sender, const gchar *path,
                       const gchar *interface, const gchar *signal, GVariant *parameters,
                       gpointer data)
{
  Commander *c = data;
  const gchar *changed_interface;
  GVariantIter *changed;
  const gchar *key;
  GVariant *value;
  (void) connection;
  (void) sender;
  (void) path;
  (void) interface;
  (void) signal;
  if (!g_variant_is_of_type (parameters, G_VARIANT_TYPE ("(sa{sv}as)")))
    return;
  g_variant_get (parameters, "(&sa{sv}as)", &changed_interface, &changed, NULL);
  while (g_variant_iter_loop (changed, "{&sv}", &key, &value)) {
    gchar *text = g_variant_print (value, FALSE);
    say (c, "D-Bus: PropertiesChanged %s = %s", key, text);
    g_free (text);
    c->announcements++;
  }
  g_variant_iter_free (changed);
}

static void
on_service_left (gpointer data)
{
  say (data, "D-Bus: the driver's configuration service left the bus");
}

static gboolean
connect_bus (Commander *c)
{
  GError *error = NULL;
  gchar *name, *path;

  /* The library's client class ends the process without a bus: look first.
   * The reference is kept, so the class opens this very connection rather
   * than racing the disposal of a released one. */
  c->bus = g_bus_get_sync (G_BUS_TYPE_SYSTEM, NULL, &error);
  if (c->bus == NULL) {
    failed (c, "no system bus: %s", error->message);
    g_error_free (error);
    return FALSE;
  }
  name = g_strdup_printf ("com.brantel.PTZ.%s", c->service);
  path = g_strdup_printf ("/com/brantel/PTZ/%s", c->service);
  c->dbus = ptz_g_dbus_client_new ();
  if (ptz_g_dbus_client_set_proxy_full (c->dbus, name, path, LEGACY_INTERFACE))
    c->proxy = ptz_g_dbus_client_get_proxy (c->dbus);
  if (c->proxy != NULL) {
    ptz_g_dbus_client_connect_destroy_signal (c->dbus, on_service_left, c);
    c->changed_subscription = g_dbus_connection_signal_subscribe (
        g_dbus_proxy_get_connection (c->proxy), NULL, "org.freedesktop.DBus.Properties",
        "PropertiesChanged", path, LEGACY_INTERFACE, G_DBUS_SIGNAL_FLAGS_NONE,
        on_properties_changed, c, NULL);
  } else {
    failed (c, "no D-Bus proxy for %s", name);
  }
  g_free (name);
  g_free (path);
  return c->proxy != NULL;
}

static gboolean
read_setting (Commander *c, const gchar *key, gint *value)
{
  GError *error = NULL;
  GVariant *entry = NULL;
  GVariant *reply =
      g_dbus_proxy_call_sync (c->proxy, "GetConfigurationEntry", g_variant_new ("(is)", 0, key),
                              G_DBUS_CALL_FLAGS_NONE, 5000, NULL, &error);
  gboolean ok = FALSE;
  if (reply == NULL) {
    failed (c, "D-Bus: reading %s: %s", key, error->message);
    g_error_free (error);
    return FALSE;
  }
  g_variant_get (reply, "(v)", &entry);
  if (g_variant_is_of_type (entry, G_VARIANT_TYPE_INT32)) {
    *value = g_variant_get_int32 (entry);
    say (c, "D-Bus: %s is %d", key, *value);
    ok = TRUE;
  } else {
    failed (c, "D-Bus: %s has the type %s", key, g_variant_get_type_string (entry));
  }
  g_variant_unref (entry);
  g_variant_unref (reply);
  return ok;
}

/* Writes an int setting; `expect_refusal` for a value the driver must turn
 * down. */
static gboolean
write_setting (Commander *c, const gchar *key, gint value, gboolean expect_refusal)
{
  GError *error = NULL;
  guint heard = c->announcements;
  GVariant *reply =
      g_dbus_proxy_call_sync (c->proxy, "SetConfigurationEntry",
                              g_variant_new ("(isv)", 0, key, g_variant_new_int32 (value)),
                              G_DBUS_CALL_FLAGS_NONE, 5000, NULL, &error);
  gint64 deadline;

  if (reply == NULL) {
    g_dbus_error_strip_remote_error (error);
    if (expect_refusal)
      say (c, "D-Bus: %s = %d refused as expected: %s", key, value, error->message);
    else
      failed (c, "D-Bus: setting %s = %d: %s", key, value, error->message);
    g_error_free (error);
    return expect_refusal;
  }
  g_variant_unref (reply);
  if (expect_refusal) {
    failed (c, "D-Bus: %s = %d was accepted", key, value);
    return FALSE;
  }
  say (c, "D-Bus: %s set to %d", key, value);
  /* The driver announces the change; wait for it to arrive. */
  deadline = g_get_monotonic_time () + 3 * G_USEC_PER_SEC;
  while (c->announcements == heard && g_get_monotonic_time () < deadline)
    pump (10);
  if (c->announcements == heard)
    failed (c, "D-Bus: no PropertiesChanged for %s", key);
  return c->announcements != heard;
}

/* ---- the run --------------------------------------------------------- */

/* Waits until the driver answers; FALSE after `timeout_ms`. */
static gboolean
wait_for_driver (Commander *c, gint timeout_ms)
{
  gint64 deadline = g_get_monotonic_time () + (gint64) timeout_ms * 1000;
  while (g_get_monotonic_time () < deadline) {
    if (query_position (c, TRUE))
      return TRUE;
    pump (200);
  }
  return FALSE;
}

/* Runs the hook, waits for the driver to go, then for it to come back. */
static void
restart_driver (Commander *c)
{
  gint status = 0;
  GError *error = NULL;
  gchar *argv[] = { (gchar *) "/bin/sh", (gchar *) "-c", c->restart_hook, NULL };
  gint64 deadline, gone;

  say (c, "=== stopping the driver (%s)", c->restart_hook);
  if (!g_spawn_sync (NULL, argv, NULL, G_SPAWN_DEFAULT, NULL, NULL, NULL, NULL, &status, &error) ||
      !g_spawn_check_wait_status (status, &error)) {
    failed (c, "restart hook: %s", error->message);
    g_error_free (error);
    return;
  }
  deadline = g_get_monotonic_time () + 5 * G_USEC_PER_SEC;
  while (query_position (c, TRUE)) {
    if (g_get_monotonic_time () > deadline) {
      failed (c, "the driver is still answering after the restart hook");
      return;
    }
    pump (100);
  }
  gone = g_get_monotonic_time ();
  say (c, "driver connection lost; waiting for the driver to come back");
  if (!wait_for_driver (c, c->wait_ms)) {
    failed (c, "the driver did not come back within %d ms", c->wait_ms);
    return;
  }
  say (c, "driver is back after %.1f s; the same client carries on",
       (g_get_monotonic_time () - gone) / 1e6);
}

static void
run (Commander *c)
{
  gint speed = 0, speed_set = 0;
  gboolean bus;

  say (c, "connecting to %s", c->socket_path);
  if (!wait_for_driver (c, c->wait_ms)) {
    failed (c, "the driver did not answer within %d ms", c->wait_ms);
    return;
  }
  show_capabilities (c);
  show_parameters (c);
  query_position (c, FALSE);

  if (async_request (c, move_command (PTZ_MOVE_ABSOLUTE, 90, -30, 3),
                     "move absolute pan 90 tilt -30 zoom 3"))
    follow_motion (c);
  simple_request (c, preset_command (PTZ_COMMAND_SET_PRESET, "door"), "set preset door");

  bus = connect_bus (c);
  if (bus && read_setting (c, "speed", &speed)) {
    if (write_setting (c, "speed", speed * 2, FALSE))
      speed_set = speed * 2;
    write_setting (c, "speed", 1000, TRUE);
  }

  if (simple_request (c, move_command (PTZ_MOVE_RELATIVE, -135, 45, -1),
                      "move relative pan -135 tilt +45 zoom -1"))
    follow_motion (c);
  if (simple_request (c, move_command (PTZ_MOVE_CONTINUOUS, 50, 0, 0),
                      "move continuous pan at 50% speed")) {
    pump (600);
    read_status_cache (c);
    show_status_cache (c);
    /* Fire and forget: no reply is awaited. */
    GArray *stop = command (PTZ_COMMAND_STOP);
    say (c, "> stop (async, no reply awaited)");
    if (!ptz_socket_client_command_async_send (c->client, stop->data, stop->len, NULL))
      failed (c, "stop: not sent");
    g_array_free (stop, TRUE);
    pump (100);
    follow_motion (c);
  }
  query_position (c, FALSE);

  if (c->restart_hook != NULL) {
    restart_driver (c);
    if (bus && read_setting (c, "speed", &speed) && speed_set != 0) {
      if (speed == speed_set)
        say (c, "D-Bus: the speed set before the restart was kept");
      else
        say (c, "D-Bus: the driver went back to speed %d (it keeps no state file)", speed);
    }
  }
  if (async_request (c, preset_command (PTZ_COMMAND_GOTO_PRESET, "door"), "goto preset door"))
    follow_motion (c);
  query_position (c, FALSE);
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
  Commander c;
  GError *error = NULL;
  GOptionEntry entries[] = {
    { "socket", 's', 0, G_OPTION_ARG_FILENAME, NULL, "Command socket of the driver", "PATH" },
    { "index", 'i', 0, G_OPTION_ARG_INT, NULL, "Status-cache index of the driver [0]", "N" },
    { "service", 'n', 0, G_OPTION_ARG_STRING, NULL, "D-Bus service name of the driver [SimDriver]",
      "NAME" },
    { "restart-hook", 'r', 0, G_OPTION_ARG_STRING, NULL,
      "Shell command that stops the driver midway", "COMMAND" },
    { "wait-ms", 'w', 0, G_OPTION_ARG_INT, NULL, "How long to wait for the driver [15000]", "MS" },
    { NULL, 0, 0, 0, NULL, NULL, NULL },
  };
  GOptionContext *context = g_option_context_new ("- command the simulated PTZ driver");

  memset (&c, 0, sizeof c);
  ptz_log_set_handler (show_library_line, "ptz_commander", NULL);
  c.index = 0;
  c.wait_ms = 15000;
  entries[0].arg_data = &c.socket_path;
  entries[1].arg_data = &c.index;
  entries[2].arg_data = &c.service;
  entries[3].arg_data = &c.restart_hook;
  entries[4].arg_data = &c.wait_ms;
  setvbuf (stdout, NULL, _IOLBF, 0);
  /* Writing to a driver that has just died must fail, not kill us. */
  signal (SIGPIPE, SIG_IGN);
  g_option_context_add_main_entries (context, entries, NULL);
  if (!g_option_context_parse (context, &argc, &argv, &error) || c.socket_path == NULL ||
      c.index < 0 || c.wait_ms <= 0) {
    fprintf (stderr, "%s\n", error != NULL ? error->message : "--socket PATH is required");
    g_clear_error (&error);
    g_option_context_free (context);
    return 2;
  }
  g_option_context_free (context);
  if (c.service == NULL)
    c.service = g_strdup ("SimDriver");

  c.start_us = g_get_monotonic_time ();
  c.client = ptz_socket_client_command_new (c.socket_path, -1, SOCK_STREAM);
  ptz_socket_client_register_callback (PTZ_SOCKET_CLIENT (c.client), on_reply, NULL);
  ptz_socket_client_command_register_free_callback (c.client, free_call, NULL);
  c.position = ptz_status_cache_setup_group (PTZ_SC_GROUP_POSITION, (guint32) c.index, 6);
  ptz_status_cache_add_param (c.position, PTZ_SC_PARAM_POSITION_PAN, &c.pan);
  ptz_status_cache_add_param (c.position, PTZ_SC_PARAM_POSITION_TILT, &c.tilt);
  ptz_status_cache_add_param (c.position, PTZ_SC_PARAM_POSITION_MZOOM, &c.zoom);
  ptz_status_cache_add_param (c.position, PTZ_SC_PARAM_POSITION_PAN_STATUS, &c.status[0]);
  ptz_status_cache_add_param (c.position, PTZ_SC_PARAM_POSITION_TILT_STATUS, &c.status[1]);
  ptz_status_cache_add_param (c.position, PTZ_SC_PARAM_POSITION_ZOOM_STATUS, &c.status[2]);

  run (&c);
  say (&c, "done: %u requests answered, %d failures", c.requests, c.failures);

  if (c.changed_subscription != 0)
    g_dbus_connection_signal_unsubscribe (g_dbus_proxy_get_connection (c.proxy),
                                          c.changed_subscription);
  g_clear_object (&c.dbus);
  g_clear_object (&c.bus);
  ptz_status_cache_free_group (c.position);
  g_object_unref (c.client);
  g_free (c.socket_path);
  g_free (c.service);
  g_free (c.restart_hook);
  return c.failures == 0 ? 0 : 1;
}
