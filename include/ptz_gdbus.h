/* D-Bus server and client on the system bus, with the framework's naming
 * scheme: bus names "com.brantel.PTZ.<service>", object paths
 * "/com/brantel/PTZ/<service>" or "/com/brantel/PTZ/<service>/<index>"
 * (dots of the service name become slashes in object paths).
 *
 * Each class opens its system-bus connection once, when the class is first
 * initialised, and keeps it in its class record. Without a system bus the
 * server class works on (its exports and name requests fail) while the
 * client class ends the process with exit status 42. */
#ifndef PTZ_GDBUS_H
#define PTZ_GDBUS_H

#include <gio/gio.h>
#include <glib-object.h>
#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/* ---- Server: exports one interface skeleton, requests bus names ---- */

#define PTZ_TYPE_G_DBUS_SERVER (ptz_g_dbus_server_get_type ())
#define PTZ_G_DBUS_SERVER(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_G_DBUS_SERVER, PTZGDBusServer))
#define PTZ_IS_G_DBUS_SERVER(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_G_DBUS_SERVER))
#define PTZ_G_DBUS_SERVER_CLASS(klass) (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_G_DBUS_SERVER, PTZGDBusServerClass))
#define PTZ_IS_G_DBUS_SERVER_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_G_DBUS_SERVER))
#define PTZ_G_DBUS_SERVER_GET_CLASS(obj) (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_G_DBUS_SERVER, PTZGDBusServerClass))

typedef struct _PTZGDBusServer PTZGDBusServer;
typedef struct _PTZGDBusServerClass PTZGDBusServerClass;

struct _PTZGDBusServer {
  GObject parent;
  /* The skeleton exported last (borrowed, no reference); NULL when none. */
  GDBusInterfaceSkeleton *skeleton;
};

struct _PTZGDBusServerClass {
  GObjectClass parent_class;
  /* The system-bus connection shared by all instances; NULL when opening
   * it failed. */
  GDBusConnection *connection;
  gboolean (*dbus_register) (PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton,
                             const gchar *service_name, gint index);
  gboolean (*dbus_request_name) (PTZGDBusServer *self, const gchar *service_name);
  gboolean (*dbus_register_obj_full_path) (PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton,
                                           const gchar *object_path);
  gboolean (*dbus_request_name_full_path) (PTZGDBusServer *self, const gchar *bus_name);
};

PTZ_API GType ptz_g_dbus_server_get_type (void);
/* Exports `skeleton` at the scheme's object path for `service_name` and
 * `index` (-1: no index). */
PTZ_API gboolean ptz_g_dbus_server_dbus_register (PTZGDBusServer *self,
                                                  GDBusInterfaceSkeleton *skeleton,
                                                  const gchar *service_name, gint index);
PTZ_API gboolean ptz_g_dbus_server_dbus_register_obj_full_path (PTZGDBusServer *self,
                                                                GDBusInterfaceSkeleton *skeleton,
                                                                const gchar *object_path);
/* Requests "com.brantel.PTZ.<service_name>" without replacement; TRUE when
 * this connection is (or already was) the primary owner. */
PTZ_API gboolean ptz_g_dbus_server_dbus_request_name (PTZGDBusServer *self,
                                                      const gchar *service_name);
PTZ_API gboolean ptz_g_dbus_server_dbus_request_name_full_path (PTZGDBusServer *self,
                                                                const gchar *bus_name);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZGDBusServer, g_object_unref)

/* ---- Client: one proxy, and a callback when its service leaves ---- */

#define PTZ_TYPE_G_DBUS_CLIENT (ptz_g_dbus_client_get_type ())
#define PTZ_G_DBUS_CLIENT(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_G_DBUS_CLIENT, PTZGDBusClient))
#define PTZ_IS_G_DBUS_CLIENT(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_G_DBUS_CLIENT))
#define PTZ_G_DBUS_CLIENT_CLASS(klass) (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_G_DBUS_CLIENT, PTZGDBusClientClass))
#define PTZ_IS_G_DBUS_CLIENT_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_G_DBUS_CLIENT))
#define PTZ_G_DBUS_CLIENT_GET_CLASS(obj) (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_G_DBUS_CLIENT, PTZGDBusClientClass))

typedef struct _PTZGDBusClient PTZGDBusClient;
typedef struct _PTZGDBusClientClass PTZGDBusClientClass;

/* Called with the caller's data pointer when the service leaves the bus. */
typedef void (*PTZGDBusClientDestroyFunc) (gpointer data);

struct _PTZGDBusClient {
  GObject parent;
  GDBusProxy *proxy;
  gchar *bus_name;
  gchar *object_path;
  gchar *interface_name;
  gulong destroy_handler_id;
  PTZGDBusClientDestroyFunc destroy_callback;
  gpointer destroy_data;
};

struct _PTZGDBusClientClass {
  GObjectClass parent_class;
  GDBusConnection *connection;
  gboolean (*set_proxy) (PTZGDBusClient *self, const gchar *service_name, gint index);
  gboolean (*set_proxy_full) (PTZGDBusClient *self, const gchar *bus_name,
                              const gchar *object_path, const gchar *interface_name);
  GDBusProxy *(*get_proxy) (PTZGDBusClient *self);
  gboolean (*connect_destroy_signal) (PTZGDBusClient *self, PTZGDBusClientDestroyFunc callback,
                                      gpointer data);
  void (*disconnect_destroy_signal) (PTZGDBusClient *self);
};

PTZ_API GType ptz_g_dbus_client_get_type (void);
PTZ_API PTZGDBusClient *ptz_g_dbus_client_new (void);
/* Bus name and interface name "com.brantel.PTZ.<service_name>", the
 * scheme's object path for the name and index; creates the proxy. */
PTZ_API gboolean ptz_g_dbus_client_set_proxy (PTZGDBusClient *self, const gchar *service_name,
                                              gint index);
PTZ_API gboolean ptz_g_dbus_client_set_proxy_full (PTZGDBusClient *self, const gchar *bus_name,
                                                   const gchar *object_path,
                                                   const gchar *interface_name);
/**
 * ptz_g_dbus_client_get_proxy:
 * @self: a client
 *
 * The proxy, created from the stored names when there is none yet.
 *
 * Returns: (transfer none) (nullable): the proxy, owned by @self, or %NULL
 *   when it cannot be created
 */
PTZ_API GDBusProxy *ptz_g_dbus_client_get_proxy (PTZGDBusClient *self);
/**
 * ptz_g_dbus_client_connect_destroy_signal: (skip)
 * @self: a client
 * @callback: called with @data when the service leaves the bus
 * @data: data passed to @callback
 *
 * Language bindings watch the proxy's #GDBusProxy:g-name-owner instead.
 *
 * Returns: %TRUE when the callback was connected
 */
PTZ_API gboolean ptz_g_dbus_client_connect_destroy_signal (PTZGDBusClient *self,
                                                           PTZGDBusClientDestroyFunc callback,
                                                           gpointer data);
PTZ_API void ptz_g_dbus_client_disconnect_destroy_signal (PTZGDBusClient *self);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZGDBusClient, g_object_unref)

/* The number at the end of a remote D-Bus error name ("....Code42" gives
 * 42), or -1 for NULL, a local error, or a name without such a number. */
PTZ_API gint ptz_g_dbus_error_get_remote_error_code (const GError *error);

G_END_DECLS

#endif /* PTZ_GDBUS_H */
