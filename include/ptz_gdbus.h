/* D-Bus server and client on the system bus, with the framework's naming
 * scheme: bus names "com.brantel.PTZ.<service>", object paths
 * "/com/brantel/PTZ/<service>" or "/com/brantel/PTZ/<service>/<index>"
 * (dots of the service name become slashes in object paths).
 *
 * The system bus is opened once per process, when either class is first
 * used, and kept in the class records. Without a system bus the server
 * class works on (its exports and name requests fail) while the client
 * class ends the process with exit status 42. See the guide "D-Bus". */
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
#define PTZ_G_DBUS_SERVER_GET_CLASS(obj) \
  (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_G_DBUS_SERVER, PTZGDBusServerClass))

typedef struct _PTZGDBusServer PTZGDBusServer;
typedef struct _PTZGDBusServerClass PTZGDBusServerClass;

/**
 * PTZGDBusServer:
 * @skeleton: (nullable): the skeleton exported last, borrowed (no
 *   reference; forgotten when the skeleton is released first); %NULL when
 *   none
 *
 * Exports one interface skeleton on the system bus and requests bus names,
 * with the framework's naming scheme: bus names "com.brantel.PTZ.<service>",
 * object paths "/com/brantel/PTZ/<service>" or
 * "/com/brantel/PTZ/<service>/<index>", the dots of the service name
 * turned into slashes in paths. There is no constructor: create it with
 * `g_object_new (PTZ_TYPE_G_DBUS_SERVER, NULL)`. Finalizing it unexports
 * the skeleton it remembers; the names it obtained stay owned by the
 * process's connection.
 *
 * The first use of the type opens the process's system-bus connection; when
 * that fails ("Could not connect to the bus: <error>") the server works on
 * and its exports and name requests fail. Its calls are synchronous and
 * take no lock: use it on the thread that iterates the main context the
 * skeleton serves in, normally the default one.
 */
struct _PTZGDBusServer
{
  GObject parent;
  GDBusInterfaceSkeleton *skeleton;
};

/**
 * PTZGDBusServerClass:
 * @parent_class: the parent class
 * @connection: (nullable): the system-bus connection shared by every
 *   server and by the legacy configuration service; %NULL when opening it
 *   failed
 * @dbus_register: exports at the scheme's path; see the virtual method
 * @dbus_request_name: requests the scheme's bus name; see the virtual
 *   method
 * @dbus_register_obj_full_path: exports at a given path; see the virtual
 *   method
 * @dbus_request_name_full_path: requests a given bus name; see the virtual
 *   method
 *
 * The class of #PTZGDBusServer. Each public function of the same name calls
 * its slot.
 */
struct _PTZGDBusServerClass
{
  GObjectClass parent_class;
  GDBusConnection *connection;
  gboolean (*dbus_register) (PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton, const gchar *service_name,
                             gint index);
  gboolean (*dbus_request_name) (PTZGDBusServer *self, const gchar *service_name);
  gboolean (*dbus_register_obj_full_path) (PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton,
                                           const gchar *object_path);
  gboolean (*dbus_request_name_full_path) (PTZGDBusServer *self, const gchar *bus_name);
};

/**
 * PTZGDBusServerClass::dbus_register:
 * @self: the server
 * @skeleton: the skeleton to export
 * @service_name: the service or object name
 * @index: the index, or -1 for none
 *
 * See ptz_g_dbus_server_dbus_register().
 *
 * Returns: %TRUE when @skeleton was exported
 */

/**
 * PTZGDBusServerClass::dbus_request_name:
 * @self: the server
 * @service_name: the service name
 *
 * See ptz_g_dbus_server_dbus_request_name().
 *
 * Returns: %TRUE when the connection owns the name
 */

/**
 * PTZGDBusServerClass::dbus_register_obj_full_path:
 * @self: the server
 * @skeleton: the skeleton to export
 * @object_path: the object path
 *
 * See ptz_g_dbus_server_dbus_register_obj_full_path().
 *
 * Returns: %TRUE when @skeleton was exported
 */

/**
 * PTZGDBusServerClass::dbus_request_name_full_path:
 * @self: the server
 * @bus_name: the bus name
 *
 * See ptz_g_dbus_server_dbus_request_name_full_path().
 *
 * Returns: %TRUE when the connection owns the name
 */

PTZ_API GType ptz_g_dbus_server_get_type (void);
/**
 * ptz_g_dbus_server_dbus_register:
 * @self: a server
 * @skeleton: the interface skeleton to export; it stays the caller's, who
 *   keeps it alive while it is exported
 * @service_name: the service or object name; its dots become slashes
 * @index: appended to the path when it is not -1
 *
 * Exports @skeleton on the system bus at "/com/brantel/PTZ/<service_name>"
 * or "/com/brantel/PTZ/<service_name>/<index>" ("ptz.driver" with 3:
 * /com/brantel/PTZ/ptz/driver/3), and remembers it (a skeleton remembered
 * before is not unexported). It fails without a bus connection, for a
 * name that makes no valid path, and for a skeleton exported at another
 * path already: then "_ptz_g_dbus_server_register: Failed to get name fo
 * <path>. <error>" is logged and the skeleton remembered before is
 * unexported. The skeleton's method handlers run in the main context that
 * was the thread's default when it was created.
 *
 * Returns: %TRUE when @skeleton was exported
 */
PTZ_API gboolean ptz_g_dbus_server_dbus_register (PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton,
                                                  const gchar *service_name, gint index);
/**
 * ptz_g_dbus_server_dbus_register_obj_full_path:
 * @self: a server
 * @skeleton: the interface skeleton to export
 * @object_path: the object path
 *
 * ptz_g_dbus_server_dbus_register() at a given path; a failure logs
 * "Failed to get name: <error>".
 *
 * Call it on the thread that iterates the main context the skeleton serves in.
 *
 * Returns: %TRUE when @skeleton was exported
 */
PTZ_API gboolean ptz_g_dbus_server_dbus_register_obj_full_path (PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton,
                                                                const gchar *object_path);
/**
 * ptz_g_dbus_server_dbus_request_name:
 * @self: a server
 * @service_name: the service name
 *
 * Requests the bus name "com.brantel.PTZ.<service_name>" from the bus
 * daemon, synchronously, without replacing an owner and without letting
 * itself be replaced (the request is queued when another connection owns
 * the name). The installed bus policy lets only root own these names.
 * A name owned by another connection logs "Got result code 2 from
 * requesting name" (warning; the request stays queued), a call that fails
 * "Failed to get name: <error>".
 *
 * It blocks until the bus daemon answers. Call it on one thread at a time, normally the main-loop thread.
 *
 * Returns: %TRUE when the process's connection is, or already was, the
 *   name's primary owner
 */
PTZ_API gboolean ptz_g_dbus_server_dbus_request_name (PTZGDBusServer *self, const gchar *service_name);
/**
 * ptz_g_dbus_server_dbus_request_name_full_path:
 * @self: a server
 * @bus_name: the well-known bus name
 *
 * ptz_g_dbus_server_dbus_request_name() with a given name.
 *
 * It blocks until the bus daemon answers. Call it on one thread at a time, normally the main-loop thread.
 *
 * Returns: %TRUE when the process's connection is, or already was, the
 *   name's primary owner
 */
PTZ_API gboolean ptz_g_dbus_server_dbus_request_name_full_path (PTZGDBusServer *self, const gchar *bus_name);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZGDBusServer, g_object_unref)

/* ---- Client: one proxy, and a callback when its service leaves ---- */

#define PTZ_TYPE_G_DBUS_CLIENT (ptz_g_dbus_client_get_type ())
#define PTZ_G_DBUS_CLIENT(obj) (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_G_DBUS_CLIENT, PTZGDBusClient))
#define PTZ_IS_G_DBUS_CLIENT(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_G_DBUS_CLIENT))
#define PTZ_G_DBUS_CLIENT_CLASS(klass) (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_G_DBUS_CLIENT, PTZGDBusClientClass))
#define PTZ_IS_G_DBUS_CLIENT_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_G_DBUS_CLIENT))
#define PTZ_G_DBUS_CLIENT_GET_CLASS(obj) \
  (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_G_DBUS_CLIENT, PTZGDBusClientClass))

typedef struct _PTZGDBusClient PTZGDBusClient;
typedef struct _PTZGDBusClientClass PTZGDBusClientClass;

/**
 * PTZGDBusClientDestroyFunc:
 * @data: the data given to ptz_g_dbus_client_connect_destroy_signal()
 *
 * Called when the service behind a client's proxy leaves the bus, in the
 * main context that was the thread's default when the proxy was created.
 */
typedef void (*PTZGDBusClientDestroyFunc) (gpointer data);

/**
 * PTZGDBusClient:
 * @proxy: (nullable): the proxy, owned; %NULL until it is created
 * @bus_name: (nullable): the bus name, owned
 * @object_path: (nullable): the object path, owned
 * @interface_name: (nullable): the interface name, owned
 * @destroy_handler_id: the handler watching the proxy's name owner, 0 when
 *   none
 * @destroy_callback: the callback of the watch
 * @destroy_data: the data of the callback
 *
 * Holds one proxy for a remote object of the framework, named by the same
 * scheme as #PTZGDBusServer, and calls back when the service behind it
 * leaves the bus. Create it with ptz_g_dbus_client_new().
 *
 * The first use of the type opens the process's system-bus connection;
 * when that fails the process ends with exit status 42. Its calls are
 * synchronous and take no lock: use it on the thread whose default main
 * context the proxy delivers in. The fields are for reading.
 */
struct _PTZGDBusClient
{
  GObject parent;
  GDBusProxy *proxy;
  gchar *bus_name;
  gchar *object_path;
  gchar *interface_name;
  gulong destroy_handler_id;
  PTZGDBusClientDestroyFunc destroy_callback;
  gpointer destroy_data;
};

/**
 * PTZGDBusClientClass:
 * @parent_class: the parent class
 * @connection: the system-bus connection shared by every client
 * @set_proxy: see the virtual method
 * @set_proxy_full: see the virtual method
 * @get_proxy: see the virtual method
 * @connect_destroy_signal: see the virtual method
 * @disconnect_destroy_signal: see the virtual method
 *
 * The class of #PTZGDBusClient. Each public function of the same name calls
 * its slot.
 */
struct _PTZGDBusClientClass
{
  GObjectClass parent_class;
  GDBusConnection *connection;
  gboolean (*set_proxy) (PTZGDBusClient *self, const gchar *service_name, gint index);
  gboolean (*set_proxy_full) (PTZGDBusClient *self, const gchar *bus_name, const gchar *object_path,
                              const gchar *interface_name);
  GDBusProxy *(*get_proxy) (PTZGDBusClient *self);
  gboolean (*connect_destroy_signal) (PTZGDBusClient *self, PTZGDBusClientDestroyFunc callback, gpointer data);
  void (*disconnect_destroy_signal) (PTZGDBusClient *self);
};

/**
 * PTZGDBusClientClass::set_proxy:
 * @self: the client
 * @service_name: the service name
 * @index: the index, or -1 for none
 *
 * See ptz_g_dbus_client_set_proxy().
 *
 * Returns: %TRUE when the proxy was created
 */

/**
 * PTZGDBusClientClass::set_proxy_full:
 * @self: the client
 * @bus_name: the bus name
 * @object_path: the object path
 * @interface_name: the interface name
 *
 * See ptz_g_dbus_client_set_proxy_full().
 *
 * Returns: %TRUE when the proxy was created
 */

/**
 * PTZGDBusClientClass::get_proxy:
 * @self: the client
 *
 * See ptz_g_dbus_client_get_proxy().
 *
 * Returns: (transfer none) (nullable): the proxy
 */

/**
 * PTZGDBusClientClass::connect_destroy_signal:
 * @self: the client
 * @callback: called when the service leaves the bus
 * @data: data passed to @callback
 *
 * See ptz_g_dbus_client_connect_destroy_signal().
 *
 * Returns: %TRUE when the callback was connected
 */

/**
 * PTZGDBusClientClass::disconnect_destroy_signal:
 * @self: the client
 *
 * See ptz_g_dbus_client_disconnect_destroy_signal().
 */

PTZ_API GType ptz_g_dbus_client_get_type (void);
/**
 * ptz_g_dbus_client_new:
 *
 * Creates a client without proxy. The first client of the process opens
 * the system bus; without one the process ends with exit status 42.
 *
 * Call it on the thread whose default main context its proxy will deliver in.
 *
 * Returns: (transfer full): the new client (release it with
 *   g_object_unref())
 */
PTZ_API PTZGDBusClient *ptz_g_dbus_client_new (void);
/**
 * ptz_g_dbus_client_set_proxy:
 * @self: a client
 * @service_name: the service name
 * @index: appended to the object path when it is not -1
 *
 * Creates the proxy of the framework's object for @service_name: bus name
 * and interface name "com.brantel.PTZ.<service_name>", the object path the
 * server exports at ("/com/brantel/PTZ/<service_name>", dots as slashes,
 * then "/<index>" unless @index is -1). See
 * ptz_g_dbus_client_set_proxy_full().
 *
 * Call it on the thread whose default main context the proxy is to deliver in.
 *
 * Returns: %TRUE when the proxy was created
 */
PTZ_API gboolean ptz_g_dbus_client_set_proxy (PTZGDBusClient *self, const gchar *service_name, gint index);
/**
 * ptz_g_dbus_client_set_proxy_full:
 * @self: a client
 * @bus_name: the bus name of the service
 * @object_path: the object path
 * @interface_name: the interface name
 *
 * Stores copies of the names and creates the proxy, synchronously (it
 * loads the object's properties from the service). The proxy delivers its
 * signals and notifications in the main context that is the thread's
 * default now. A client has one proxy for good: a second call fails with
 * the critical "self->proxy == NULL" (the names are stored all the same).
 * Invalid names log "Failed to setup proxy: No valid bus name, object path
 * and interface name", a proxy that cannot be made "Failed to setup proxy:
 * <error>".
 *
 * Returns: %TRUE when the proxy was created
 */
PTZ_API gboolean ptz_g_dbus_client_set_proxy_full (PTZGDBusClient *self, const gchar *bus_name,
                                                   const gchar *object_path, const gchar *interface_name);
/**
 * ptz_g_dbus_client_get_proxy:
 * @self: a client
 *
 * The proxy, created from the stored names when there is none yet (see
 * ptz_g_dbus_client_set_proxy_full()).
 *
 * Call it on the thread whose default main context the proxy delivers in.
 *
 * Returns: (transfer none) (nullable): the proxy, owned by @self, or %NULL
 *   when it cannot be created
 */
PTZ_API GDBusProxy *ptz_g_dbus_client_get_proxy (PTZGDBusClient *self);
/**
 * ptz_g_dbus_client_connect_destroy_signal: (skip)
 * @self: a client
 * @callback: called with @data when the service leaves the bus
 * @data: data passed to @callback; it stays the caller's
 *
 * Watches the owner of the proxy's bus name: when the service leaves the
 * bus, @callback is called with @data, in the proxy's main context. A new
 * owner appearing calls nothing; the watch stays connected. It fails
 * without a proxy and when a watch is connected already (the first stays).
 * Language bindings watch the proxy's #GDBusProxy:g-name-owner instead.
 *
 * Call it on the thread whose default main context the proxy delivers in.
 *
 * Returns: %TRUE when the callback was connected
 */
PTZ_API gboolean ptz_g_dbus_client_connect_destroy_signal (PTZGDBusClient *self, PTZGDBusClientDestroyFunc callback,
                                                           gpointer data);
/**
 * ptz_g_dbus_client_disconnect_destroy_signal:
 * @self: a client
 *
 * Disconnects the watch of ptz_g_dbus_client_connect_destroy_signal(), if
 * one is connected. Disposing of the client does it too.
 *
 * Call it on the thread whose default main context the proxy delivers in.
 */
PTZ_API void ptz_g_dbus_client_disconnect_destroy_signal (PTZGDBusClient *self);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZGDBusClient, g_object_unref)

/**
 * ptz_g_dbus_error_get_remote_error_code:
 * @error: (nullable): an error from a D-Bus call
 *
 * Reads the number a service put at the end of a remote D-Bus error name:
 * "com.example.Error.Code42" gives 42 (the last ".Code" counts). Any
 * thread may call it.
 *
 * Returns: the number; -1 for %NULL, an error that is not a remote D-Bus
 *   error, and a name without such a number
 */
PTZ_API gint ptz_g_dbus_error_get_remote_error_code (const GError *error);

G_END_DECLS

#endif /* PTZ_GDBUS_H */
