// Legacy configuration service: exports a service's configuration skeleton,
// declares it to the configuration-event service, announces changed values
// and sends configuration events.
#include "ptz_legacy_config.h"

#include <quiral.h>

#include <memory>

#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "dbus/ptz_gdbus_private.h"
#include "ptz_gdbus.h"

struct _PTZLegacyConfigHandler {
  PTZGDBusServer *server;
  gchar *service_name;
  // Where the skeleton is exported; declarations, "PropertiesChanged" and
  // events all use this one path.
  gchar *object_path;
  ConfigurationEvent *event;
};

namespace {

constexpr const char *kInterfaceName = "com.brantel.Configuration.Legacy";

// The names the service logs under.
constexpr char kSetup[] = "ptz_legacy_config_setup";
constexpr char kPropChanged[] = "ptz_legacy_config_prop_changed";

void handler_free(PTZLegacyConfigHandler *handler) {
  if (handler->event != nullptr) configuration_event_free(handler->event);
  // Dropping the server unexports the skeleton.
  if (handler->server != nullptr) g_object_unref(handler->server);
  g_free(handler->service_name);
  g_free(handler->object_path);
  g_free(handler);
}

struct HandlerDeleter {
  void operator()(PTZLegacyConfigHandler *handler) const { handler_free(handler); }
};
using HandlerPtr = std::unique_ptr<PTZLegacyConfigHandler, HandlerDeleter>;

// The value as a D-Bus variant (floating), or NULL for a type with no
// D-Bus form here.
GVariant *to_variant(const GValue *value) {
  if (G_VALUE_HOLDS_INT(value)) return g_variant_new_int32(g_value_get_int(value));
  if (G_VALUE_HOLDS_BOOLEAN(value)) return g_variant_new_boolean(g_value_get_boolean(value));
  if (G_VALUE_HOLDS_STRING(value)) {
    // A string GValue may hold NULL: sent as the empty byte string.
    const gchar *text = g_value_get_string(value);
    return g_variant_new_bytestring(text != nullptr ? text : "");
  }
  return nullptr;
}

}  // namespace

PTZLegacyConfigHandler *ptz_legacy_config_setup(GDBusInterfaceSkeleton *skeleton, const gchar *event_name,
                                                const gchar *service_name, const gchar *object_name) {
  // Every failure undoes the steps taken before it.
  HandlerPtr handler(g_new0(PTZLegacyConfigHandler, 1));
  handler->service_name = g_strdup(service_name);
  // The path the server exports at, so that everything else names the
  // object the bus actually has (dots of the name as slashes).
  handler->object_path = velmora::gdbus::object_path(object_name, -1);

  handler->server = PTZ_G_DBUS_SERVER(g_object_new(PTZ_TYPE_G_DBUS_SERVER, nullptr));
  if (handler->server == nullptr) {
    PTZ_LOG_ERR("%s: Failed to create DBus server %s!", kSetup, handler->object_path);
    return nullptr;
  }
  if (!ptz_g_dbus_server_dbus_register(handler->server, skeleton, object_name, -1)) {
    PTZ_LOG_ERR("%s: Failed to register DBus object %s!", kSetup, object_name ? object_name : "(null)");
    return nullptr;
  }
  handler->event = configuration_event_new(event_name, 0, 0);
  if (handler->event == nullptr) {
    PTZ_LOG_ERR("%s: Failed to create configuration event for %s!", kSetup, event_name ? event_name : "(null)");
    return nullptr;
  }
  velmora::GErrorPtr error;
  if (!configuration_event_declare(handler->event, handler->service_name, handler->object_path, kInterfaceName,
                                   error.out())) {
    PTZ_LOG_ERR("%s: Could not declare configuration event for %s: %s", kSetup, handler->object_path,
                error.message(""));
    return nullptr;
  }
  return handler.release();
}

void ptz_legacy_config_cleanup(PTZLegacyConfigHandler *handler) {
  if (handler == nullptr) return;
  if (handler->event != nullptr) {
    velmora::GErrorPtr error;
    if (!configuration_event_undeclare(handler->event, handler->service_name, handler->object_path, kInterfaceName,
                                       error.out()))
      PTZ_LOG_WARNING("Could not undeclare %s", error.message(""));
  }
  handler_free(handler);
}

void ptz_legacy_config_prop_changed(PTZLegacyConfigHandler *handler, const gchar *key, const GValue *value) {
  g_assert(handler != NULL);
  g_assert(key != NULL);
  g_assert(value != NULL);
  GVariant *converted = to_variant(value);
  if (converted == nullptr) {
    const gchar *type_name = g_type_name(G_VALUE_TYPE(value));
    PTZ_LOG_ERR("%s: Can not convert key %s type %s to GVariant!", kPropChanged, key,
                type_name ? type_name : "(invalid)");
    return;
  }
  g_variant_ref_sink(converted);
  velmora::GErrorPtr error;
  GDBusConnection *connection = PTZ_G_DBUS_SERVER_GET_CLASS(handler->server)->connection;
  if (connection == nullptr) {
    g_set_error(error.out(), G_IO_ERROR, G_IO_ERROR_NOT_CONNECTED, "No connection to the system bus");
  } else if (!g_utf8_validate(key, -1, nullptr)) {
    g_set_error(error.out(), G_IO_ERROR, G_IO_ERROR_INVALID_DATA, "The key is not UTF-8");
  } else {
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&changed, "{sv}", key, converted);
    g_dbus_connection_emit_signal(connection, nullptr, handler->object_path, "org.freedesktop.DBus.Properties",
                                  "PropertiesChanged", g_variant_new("(sa{sv}as)", kInterfaceName, &changed, nullptr),
                                  error.out());
  }
  if (error) PTZ_LOG_WARNING("Failed to emit property changed signal: %s", error->message);
  g_variant_unref(converted);
}

gboolean ptz_legacy_config_send_event(PTZLegacyConfigHandler *handler, gint change_type, gint index,
                                      GHashTable *pairs) {
  g_assert(handler != NULL);
  configuration_event_initialize_change_string(handler->event);
  if (pairs != nullptr) {
    GHashTableIter iter;
    gpointer key = nullptr;
    gpointer value = nullptr;
    g_hash_table_iter_init(&iter, pairs);
    while (g_hash_table_iter_next(&iter, &key, &value))
      configuration_event_append_escaped_pair_to_change_string(
          handler->event, static_cast<const gchar *>(key), value != nullptr ? static_cast<const gchar *>(value) : "");
  }
  gchar *event_path =
      index < 0 ? g_strdup(handler->object_path) : g_strdup_printf("%s/%d", handler->object_path, index);
  velmora::GErrorPtr error;
  gboolean ok = configuration_event_send(handler->event, handler->service_name, handler->object_path, kInterfaceName,
                                         event_path, change_type, error.out());
  if (!ok) PTZ_LOG_WARNING("Failed to send configuration event, message = %s", error.message(""));
  g_free(event_path);
  return ok;
}
