/* g_autoptr() for every class and every record with a free function of its
 * own, in a C99 program built against the shared library: each value is
 * released when its scope ends (objects are finalized, queues release their
 * items, the legacy configuration handler unexports its skeleton; the
 * sanitizer build's leak check covers the status-cache description).
 *
 * The D-Bus classes and the legacy configuration handler need a system bus;
 * without DBUS_SYSTEM_BUS_ADDRESS the rest is checked and the program exits
 * 77, which CTest reports as skipped. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <glib/gstdio.h>

#include "velmora_common.h"

#define CHECK(cond)                                                             \
  do {                                                                          \
    if (!(cond)) {                                                              \
      fprintf (stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      exit (1);                                                                 \
    }                                                                           \
  } while (0)

/* The objects made in one scope; each slot is cleared when its object is
 * finalized. */
static gpointer watched[16];
static guint n_watched;

static gpointer
watch (gpointer object)
{
  CHECK (object != NULL && n_watched < G_N_ELEMENTS (watched));
  watched[n_watched] = object;
  g_object_add_weak_pointer (G_OBJECT (object), &watched[n_watched]);
  n_watched++;
  return object;
}

static gboolean
all_finalized (void)
{
  guint i;
  for (i = 0; i < n_watched; i++)
    if (watched[i] != NULL)
      return FALSE;
  return TRUE;
}

static guint released;

static void
release_item (gpointer item)
{
  (void) item;
  released++;
}

static void
sockets_and_objects (const gchar *dir)
{
  gchar *plain = g_build_filename (dir, "plain.sock", NULL);
  gchar *command = g_build_filename (dir, "command.sock", NULL);
  gchar *bare = g_build_filename (dir, "bare.sock", NULL);
  {
    g_autoptr (PTZSocket) endpoint =
        watch (ptz_socket_new (PTZ_TYPE_SOCKET, PTZ_SOCKET_ROLE_SERVER, bare, SOCK_STREAM));
    g_autoptr (PTZSocketServer) server =
        watch (ptz_socket_server_new (PTZ_TYPE_SOCKET_SERVER, plain, SOCK_STREAM));
    g_autoptr (PTZSocketServerCommand) command_server =
        watch (ptz_socket_server_command_new (command, SOCK_STREAM));
    g_autoptr (PTZSocketSignal) signal = watch (ptz_socket_signal_new (plain, SOCK_STREAM));
    g_autoptr (PTZSocketClient) client =
        watch (ptz_socket_client_new (PTZ_TYPE_SOCKET_CLIENT, plain, -1, SOCK_STREAM));
    g_autoptr (PTZSocketClientSignalDataReady) ready =
        watch (ptz_socket_client_signal_data_ready_new (PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY,
                                                        plain, -1, SOCK_STREAM));
    g_autoptr (PTZSocketClientCommand) command_client =
        watch (ptz_socket_client_command_new (command, -1, SOCK_STREAM));
    g_autoptr (PTZParameterItemArray) items = watch (ptz_parameter_item_array_new ("group"));
    g_autoptr (PTZDynamicalProperties) properties = watch (ptz_dynamical_properties_new ());
    g_autoptr (PTZStatusCacheGroup) group =
        ptz_status_cache_setup_group (PTZ_SC_GROUP_POSITION, 0, 2);
    g_autoptr (PTZQueue) queue =
        ptz_queue_setup (g_main_context_default (), release_item, G_PRIORITY_DEFAULT);
    gint32 pan = 0;

    CHECK (endpoint->fd >= 0 && server != NULL && command_server != NULL && signal != NULL);
    CHECK (client != NULL && ready != NULL && command_client != NULL && items != NULL);
    CHECK (properties != NULL);
    CHECK (ptz_status_cache_add_param (group, PTZ_SC_PARAM_POSITION_PAN, &pan));
    CHECK (ptz_queue_push (queue, &pan) && ptz_queue_push (queue, &pan));
    CHECK (!all_finalized ());
  }
  CHECK (all_finalized ());
  CHECK (released == 2);
  g_remove (plain);
  g_remove (command);
  g_remove (bare);
  g_free (plain);
  g_free (command);
  g_free (bare);
}

static void
bus_objects (void)
{
  GDBusInterfaceSkeleton *skeleton =
      G_DBUS_INTERFACE_SKELETON (ptz_legacy_config_dynamic_configuration_legacy_skeleton_new ());
  gchar *object = g_strdup_printf ("AutoPtr%d", (int) getpid ());
  {
    g_autoptr (PTZGDBusServer) server = watch (g_object_new (PTZ_TYPE_G_DBUS_SERVER, NULL));
    g_autoptr (PTZGDBusClient) client = watch (ptz_g_dbus_client_new ());
    g_autoptr (PTZLegacyConfigHandler) handler =
        ptz_legacy_config_setup (skeleton, "ptzconfig", object, object);
    CHECK (handler != NULL);
    CHECK (g_dbus_interface_skeleton_get_connection (skeleton) != NULL);
  }
  CHECK (all_finalized ());
  CHECK (g_dbus_interface_skeleton_get_connection (skeleton) == NULL);
  g_object_unref (skeleton);
  g_free (object);
}

int
main (void)
{
  gchar *dir = g_dir_make_tmp ("velmora-autoptr-XXXXXX", NULL);
  gboolean bus = g_getenv ("DBUS_SYSTEM_BUS_ADDRESS") != NULL;

  CHECK (dir != NULL);
  sockets_and_objects (dir);
  if (bus)
    bus_objects ();
  g_rmdir (dir);
  g_free (dir);
  if (!bus) {
    puts ("autoptr: the D-Bus classes and the legacy configuration handler need a system bus; "
          "skipped");
    return 77;
  }
  puts ("autoptr: ok");
  return 0;
}
