// PTZGDBusServer: exports one interface skeleton on the system bus and
// requests the framework's bus names.
#include "common/ptz_guard.h"
#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "dbus/ptz_gdbus_private.h"
#include "ptz_gdbus.h"

// The bus is opened on the type's registration, before its class_init runs.
G_DEFINE_TYPE_WITH_CODE(PTZGDBusServer, ptz_g_dbus_server, G_TYPE_OBJECT, velmora::gdbus::open_system_bus_once())

namespace {

// The name a failed registration is logged under.
constexpr char kRegister[] = "_ptz_g_dbus_server_register";

// The server borrows its skeleton; a weak pointer makes sure that a skeleton
// the caller releases first is forgotten rather than used after it is gone.
void remember_skeleton(PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton) {
  if (self->skeleton != nullptr)
    g_object_remove_weak_pointer(G_OBJECT(self->skeleton), reinterpret_cast<gpointer *>(&self->skeleton));
  self->skeleton = skeleton;
  if (skeleton != nullptr) g_object_add_weak_pointer(G_OBJECT(skeleton), reinterpret_cast<gpointer *>(&self->skeleton));
}

void unexport_remembered(PTZGDBusServer *self) {
  if (self->skeleton == nullptr) return;
  g_dbus_interface_skeleton_unexport(self->skeleton);
  remember_skeleton(self, nullptr);
}

GDBusConnection *connection_of(PTZGDBusServer *self) { return PTZ_G_DBUS_SERVER_GET_CLASS(self)->connection; }

// Exports `skeleton` at `path`; on failure sets `error` (when anything is
// known) and unexports the skeleton remembered before.
gboolean export_skeleton(PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton, const gchar *path, GError **error) {
  GDBusConnection *connection = connection_of(self);
  gboolean ok = FALSE;
  if (connection == nullptr) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_NOT_CONNECTED, "No connection to the system bus");
  } else if (!G_IS_DBUS_INTERFACE_SKELETON(skeleton)) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT, "No interface skeleton");
  } else if (path == nullptr || !g_variant_is_object_path(path)) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT, "Invalid object path");
  } else if (const gchar *current = g_dbus_interface_skeleton_get_object_path(skeleton);
             current != nullptr && g_strcmp0(current, path) != 0) {
    // One skeleton lives at one path on every connection.
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_EXISTS, "The skeleton is exported at %s already", current);
  } else {
    ok = g_dbus_interface_skeleton_export(skeleton, connection, path, error);
  }
  if (ok) {
    remember_skeleton(self, skeleton);
  } else {
    unexport_remembered(self);
  }
  return ok;
}

gboolean server_register(PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton, const gchar *service_name,
                         gint index) {
  gchar *path = velmora::gdbus::object_path(service_name, index);
  velmora::GErrorPtr error;
  gboolean ok = export_skeleton(self, skeleton, path, error.out());
  if (!ok) PTZ_LOG_ERR("%s: Failed to get name fo %s. %s", kRegister, path ? path : "(null)", error.message("(no err"));
  g_free(path);
  return ok;
}

gboolean server_register_obj_full_path(PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton,
                                       const gchar *object_path) {
  velmora::GErrorPtr error;
  gboolean ok = export_skeleton(self, skeleton, object_path, error.out());
  if (!ok) PTZ_LOG_ERR("Failed to get name: %s", error.message("(no error)"));
  return ok;
}

gboolean server_request_name_full_path(PTZGDBusServer *self, const gchar *bus_name) {
  GDBusConnection *connection = connection_of(self);
  if (connection == nullptr) {
    PTZ_LOG_ERR("Failed to get name: No connection to the system bus");
    return FALSE;
  }
  if (bus_name == nullptr || !g_dbus_is_name(bus_name) || g_dbus_is_unique_name(bus_name)) {
    PTZ_LOG_ERR("Failed to get name: Invalid bus name");
    return FALSE;
  }
  velmora::GErrorPtr error;
  // Flags 0: no replacement either way, queueing allowed.
  GVariant *reply = g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
      g_variant_new("(su)", bus_name, 0u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, error.out());
  if (reply == nullptr) {
    PTZ_LOG_ERR("Failed to get name: %s", error.message(""));
    return FALSE;
  }
  guint32 code = 0;
  g_variant_get(reply, "(u)", &code);
  g_variant_unref(reply);
  if (code == 1 /* primary owner */ || code == 4 /* already owner */) return TRUE;
  PTZ_LOG_WARNING("Got result code %u from requesting name", code);
  return FALSE;
}

gboolean server_request_name(PTZGDBusServer *self, const gchar *service_name) {
  if (service_name == nullptr) return server_request_name_full_path(self, nullptr);
  gchar *bus_name = g_strdup_printf(velmora::gdbus::kBusNameFormat, service_name);
  gboolean ok = server_request_name_full_path(self, bus_name);
  g_free(bus_name);
  return ok;
}

}  // namespace

static void server_finalize(GObject *object) {
  unexport_remembered(PTZ_G_DBUS_SERVER(object));
  G_OBJECT_CLASS(ptz_g_dbus_server_parent_class)->finalize(object);
}

static void ptz_g_dbus_server_class_init(PTZGDBusServerClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = server_finalize;
  // Without a bus the class goes on: exports and name requests then fail.
  klass->connection = velmora::gdbus::system_bus();
  klass->dbus_register = server_register;
  klass->dbus_request_name = server_request_name;
  klass->dbus_register_obj_full_path = server_register_obj_full_path;
  klass->dbus_request_name_full_path = server_request_name_full_path;
}

static void ptz_g_dbus_server_init(PTZGDBusServer *self) { self->skeleton = nullptr; }

gboolean ptz_g_dbus_server_dbus_register(PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton,
                                         const gchar *service_name, gint index) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_G_DBUS_SERVER(self), FALSE);
  return PTZ_G_DBUS_SERVER_GET_CLASS(self)->dbus_register(self, skeleton, service_name, index);
}

gboolean ptz_g_dbus_server_dbus_register_obj_full_path(PTZGDBusServer *self, GDBusInterfaceSkeleton *skeleton,
                                                       const gchar *object_path) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_G_DBUS_SERVER(self), FALSE);
  return PTZ_G_DBUS_SERVER_GET_CLASS(self)->dbus_register_obj_full_path(self, skeleton, object_path);
}

gboolean ptz_g_dbus_server_dbus_request_name(PTZGDBusServer *self, const gchar *service_name) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_G_DBUS_SERVER(self), FALSE);
  return PTZ_G_DBUS_SERVER_GET_CLASS(self)->dbus_request_name(self, service_name);
}

gboolean ptz_g_dbus_server_dbus_request_name_full_path(PTZGDBusServer *self, const gchar *bus_name) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_G_DBUS_SERVER(self), FALSE);
  return PTZ_G_DBUS_SERVER_GET_CLASS(self)->dbus_request_name_full_path(self, bus_name);
}
