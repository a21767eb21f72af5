// PTZGDBusClient: one proxy for a remote object of the framework, and a
// callback when the service behind it leaves the bus.
#include <cstdlib>

#include "common/ptz_guard.h"
#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "dbus/ptz_gdbus_private.h"
#include "ptz_gdbus.h"

// The bus is opened on the type's registration, before its class_init runs.
G_DEFINE_TYPE_WITH_CODE(PTZGDBusClient, ptz_g_dbus_client, G_TYPE_OBJECT, velmora::gdbus::open_system_bus_once())

namespace {

constexpr int kNoBusExitStatus = 42;

void replace_string(gchar **slot, const gchar *value) {
  g_free(*slot);
  *slot = g_strdup(value);
}

// Creates the proxy from the stored names (the guard's function name is the
// one users see in the critical).
gboolean new_proxy(PTZGDBusClient *self) {
  if (self->proxy != nullptr) {
    g_return_if_fail_warning(G_LOG_DOMAIN, "ptz_g_dbus_client_new_proxy", "self->proxy == NULL");
    return FALSE;
  }
  // Names that GDBus would reject with a critical are reported as a failure.
  if (self->bus_name == nullptr || !g_dbus_is_name(self->bus_name) || self->object_path == nullptr ||
      !g_variant_is_object_path(self->object_path) || self->interface_name == nullptr ||
      !g_dbus_is_interface_name(self->interface_name)) {
    PTZ_LOG_ERR("Failed to setup proxy: No valid bus name, object path and interface name");
    return FALSE;
  }
  velmora::GErrorPtr error;
  self->proxy = g_dbus_proxy_new_sync(PTZ_G_DBUS_CLIENT_GET_CLASS(self)->connection, G_DBUS_PROXY_FLAGS_NONE, nullptr,
                                      self->bus_name, self->object_path, self->interface_name, nullptr, error.out());
  if (self->proxy == nullptr) {
    PTZ_LOG_ERR("Failed to setup proxy: %s", error.message(""));
    return FALSE;
  }
  return TRUE;
}

gboolean client_set_proxy_full(PTZGDBusClient *self, const gchar *bus_name, const gchar *object_path,
                               const gchar *interface_name) {
  replace_string(&self->bus_name, bus_name);
  replace_string(&self->object_path, object_path);
  replace_string(&self->interface_name, interface_name);
  return new_proxy(self);
}

gboolean client_set_proxy(PTZGDBusClient *self, const gchar *service_name, gint index) {
  if (service_name == nullptr) return client_set_proxy_full(self, nullptr, nullptr, nullptr);
  gchar *name = g_strdup_printf(velmora::gdbus::kBusNameFormat, service_name);
  // The same object path as the server exports at (dots as slashes).
  gchar *path = velmora::gdbus::object_path(service_name, index);
  gboolean ok = client_set_proxy_full(self, name, path, name);
  g_free(path);
  g_free(name);
  return ok;
}

GDBusProxy *client_get_proxy(PTZGDBusClient *self) {
  if (self->proxy == nullptr) new_proxy(self);
  return self->proxy;
}

void on_name_owner_changed(GDBusProxy *proxy, GParamSpec *, gpointer user_data) {
  auto *self = static_cast<PTZGDBusClient *>(user_data);
  gchar *owner = g_dbus_proxy_get_name_owner(proxy);
  if (owner != nullptr) {
    g_free(owner);
    return;
  }
  // The callback may disconnect or release the client: copy first.
  PTZGDBusClientDestroyFunc callback = self->destroy_callback;
  gpointer data = self->destroy_data;
  if (callback != nullptr) callback(data);
}

gboolean client_connect_destroy_signal(PTZGDBusClient *self, PTZGDBusClientDestroyFunc callback, gpointer data) {
  if (self->destroy_handler_id != 0) return FALSE;
  self->destroy_callback = callback;
  self->destroy_data = data;
  if (self->proxy != nullptr)
    self->destroy_handler_id =
        g_signal_connect(self->proxy, "notify::g-name-owner", G_CALLBACK(on_name_owner_changed), self);
  if (self->destroy_handler_id == 0) {
    self->destroy_callback = nullptr;
    self->destroy_data = nullptr;
    return FALSE;
  }
  return TRUE;
}

void client_disconnect_destroy_signal(PTZGDBusClient *self) {
  if (self->destroy_handler_id == 0) return;
  if (self->proxy != nullptr) g_signal_handler_disconnect(self->proxy, self->destroy_handler_id);
  self->destroy_handler_id = 0;
  self->destroy_callback = nullptr;
  self->destroy_data = nullptr;
}

}  // namespace

static void client_dispose(GObject *object) {
  auto *self = PTZ_G_DBUS_CLIENT(object);
  client_disconnect_destroy_signal(self);
  g_clear_object(&self->proxy);
  G_OBJECT_CLASS(ptz_g_dbus_client_parent_class)->dispose(object);
}

static void client_finalize(GObject *object) {
  auto *self = PTZ_G_DBUS_CLIENT(object);
  g_free(self->bus_name);
  g_free(self->object_path);
  g_free(self->interface_name);
  G_OBJECT_CLASS(ptz_g_dbus_client_parent_class)->finalize(object);
}

static void ptz_g_dbus_client_class_init(PTZGDBusClientClass *klass) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  object_class->dispose = client_dispose;
  object_class->finalize = client_finalize;
  klass->connection = velmora::gdbus::system_bus();
  // A client is useless without the bus; its users rely on this exit.
  if (klass->connection == nullptr) exit(kNoBusExitStatus);
  klass->set_proxy = client_set_proxy;
  klass->set_proxy_full = client_set_proxy_full;
  klass->get_proxy = client_get_proxy;
  klass->connect_destroy_signal = client_connect_destroy_signal;
  klass->disconnect_destroy_signal = client_disconnect_destroy_signal;
}

static void ptz_g_dbus_client_init(PTZGDBusClient *) {}

PTZGDBusClient *ptz_g_dbus_client_new(void) { return PTZ_G_DBUS_CLIENT(g_object_new(PTZ_TYPE_G_DBUS_CLIENT, nullptr)); }

gboolean ptz_g_dbus_client_set_proxy(PTZGDBusClient *self, const gchar *service_name, gint index) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_G_DBUS_CLIENT(self), FALSE);
  return PTZ_G_DBUS_CLIENT_GET_CLASS(self)->set_proxy(self, service_name, index);
}

gboolean ptz_g_dbus_client_set_proxy_full(PTZGDBusClient *self, const gchar *bus_name, const gchar *object_path,
                                          const gchar *interface_name) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_G_DBUS_CLIENT(self), FALSE);
  return PTZ_G_DBUS_CLIENT_GET_CLASS(self)->set_proxy_full(self, bus_name, object_path, interface_name);
}

GDBusProxy *ptz_g_dbus_client_get_proxy(PTZGDBusClient *self) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_G_DBUS_CLIENT(self), nullptr);
  return PTZ_G_DBUS_CLIENT_GET_CLASS(self)->get_proxy(self);
}

gboolean ptz_g_dbus_client_connect_destroy_signal(PTZGDBusClient *self, PTZGDBusClientDestroyFunc callback,
                                                  gpointer data) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_G_DBUS_CLIENT(self), FALSE);
  return PTZ_G_DBUS_CLIENT_GET_CLASS(self)->connect_destroy_signal(self, callback, data);
}

void ptz_g_dbus_client_disconnect_destroy_signal(PTZGDBusClient *self) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_G_DBUS_CLIENT(self));
  PTZ_G_DBUS_CLIENT_GET_CLASS(self)->disconnect_destroy_signal(self);
}
