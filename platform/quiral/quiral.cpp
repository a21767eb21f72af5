// Bundled configuration-event library. Declarations live in a process-wide
// registry; declares, undeclares and events are broadcast as signals on the
// system bus, where the configuration service (or a test) watches them.
#include "quiral.h"
#include "quiral_testing.h"

#include <gio/gio.h>

#include <atomic>
#include <map>
#include <string>

#include "common/ptz_mutex.h"

struct _ConfigurationEvent {
  gchar *name;
  GString *change;
};

namespace {

enum Failure {
  kNone = 0,
  kWithError = 1,
  kWithoutError = 2
};
std::atomic<int> injected[QUIRAL_TESTING_N_CALLS];

velmora::Mutex registry_mutex;
// (service, object path, interface) -> the handle that declared it.
std::map<std::string, ConfigurationEvent *> registry VELMORA_GUARDED_BY(registry_mutex);

std::string registry_key(const gchar *service, const gchar *path, const gchar *iface) {
  std::string key(service);
  key.push_back('\0');
  key.append(path);
  key.push_back('\0');
  key.append(iface);
  return key;
}

// An injected failure of `call`: reports it and returns TRUE.
bool injected_failure(QuiralTestingCall call, GError **error) {
  int mode = injected[call].load();
  if (mode == kNone) return false;
  if (mode == kWithError) g_set_error(error, G_IO_ERROR, G_IO_ERROR_FAILED, "injected failure");
  return true;
}

bool check_object(ConfigurationEvent *event, const gchar *service, const gchar *path, const gchar *iface,
                  GError **error) {
  if (event == nullptr) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT, "no configuration event handle");
    return false;
  }
  if (service == nullptr || *service == '\0' || !g_utf8_validate(service, -1, nullptr)) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT, "invalid service name");
    return false;
  }
  if (path == nullptr || !g_variant_is_object_path(path)) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT, "invalid object path '%s'", path ? path : "(null)");
    return false;
  }
  if (iface == nullptr || !g_dbus_is_interface_name(iface)) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT, "invalid interface name");
    return false;
  }
  return true;
}

// Broadcasts one signal on the system bus; takes the floating `parameters`.
bool broadcast(const gchar *signal, GVariant *parameters, GError **error) {
  g_variant_ref_sink(parameters);
  GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, error);
  bool ok = bus != nullptr &&
            g_dbus_connection_emit_signal(bus, nullptr, QUIRAL_TESTING_PATH, QUIRAL_TESTING_INTERFACE, signal,
                                          parameters, error) &&
            g_dbus_connection_flush_sync(bus, nullptr, error);
  if (bus != nullptr) g_object_unref(bus);
  g_variant_unref(parameters);
  return ok;
}

void append_escaped(GString *out, const gchar *text) {
  for (const gchar *p = text ? text : ""; *p != '\0'; p++) {
    if (*p == '\\' || *p == ';' || *p == '=') g_string_append_c(out, '\\');
    g_string_append_c(out, *p);
  }
}

}  // namespace

extern "C" {

ConfigurationEvent *configuration_event_new(const gchar *event_name, guint flags, guint reserved) {
  if (injected_failure(QUIRAL_TESTING_NEW, nullptr)) return nullptr;
  if (event_name == nullptr || *event_name == '\0' || !g_utf8_validate(event_name, -1, nullptr) || flags != 0 ||
      reserved != 0)
    return nullptr;
  auto *event = g_new0(ConfigurationEvent, 1);
  event->name = g_strdup(event_name);
  event->change = g_string_new(nullptr);
  return event;
}

gboolean configuration_event_declare(ConfigurationEvent *event, const gchar *service_name, const gchar *object_path,
                                     const gchar *interface_name, GError **error) {
  if (injected_failure(QUIRAL_TESTING_DECLARE, error)) return FALSE;
  if (!check_object(event, service_name, object_path, interface_name, error)) return FALSE;
  std::string key = registry_key(service_name, object_path, interface_name);
  {
    velmora::MutexLock lock(registry_mutex);
    if (!registry.emplace(key, event).second) {
      g_set_error(error, G_IO_ERROR, G_IO_ERROR_EXISTS, "%s at %s is declared already", interface_name, object_path);
      return FALSE;
    }
  }
  if (!broadcast("Declared", g_variant_new("(ssss)", event->name, service_name, object_path, interface_name), error)) {
    velmora::MutexLock lock(registry_mutex);
    registry.erase(key);
    return FALSE;
  }
  return TRUE;
}

gboolean configuration_event_undeclare(ConfigurationEvent *event, const gchar *service_name, const gchar *object_path,
                                       const gchar *interface_name, GError **error) {
  if (injected_failure(QUIRAL_TESTING_UNDECLARE, error)) return FALSE;
  if (!check_object(event, service_name, object_path, interface_name, error)) return FALSE;
  {
    velmora::MutexLock lock(registry_mutex);
    auto it = registry.find(registry_key(service_name, object_path, interface_name));
    if (it == registry.end() || it->second != event) {
      g_set_error(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "%s at %s is not declared", interface_name, object_path);
      return FALSE;
    }
    registry.erase(it);
  }
  // The declaration is gone whether or not watchers hear of it.
  return broadcast("Undeclared", g_variant_new("(ssss)", event->name, service_name, object_path, interface_name),
                   error);
}

void configuration_event_free(ConfigurationEvent *event) {
  if (event == nullptr) return;
  {
    velmora::MutexLock lock(registry_mutex);
    std::erase_if(registry, [event](const auto &entry) { return entry.second == event; });
  }
  g_string_free(event->change, TRUE);
  g_free(event->name);
  g_free(event);
}

void configuration_event_initialize_change_string(ConfigurationEvent *event) {
  if (event != nullptr) g_string_truncate(event->change, 0);
}

void configuration_event_append_escaped_pair_to_change_string(ConfigurationEvent *event, const gchar *key,
                                                              const gchar *value) {
  if (event == nullptr) return;
  if (event->change->len > 0) g_string_append_c(event->change, ';');
  append_escaped(event->change, key);
  g_string_append_c(event->change, '=');
  append_escaped(event->change, value);
}

gboolean configuration_event_send(ConfigurationEvent *event, const gchar *service_name, const gchar *object_path,
                                  const gchar *interface_name, const gchar *event_path, gint change_type,
                                  GError **error) {
  if (injected_failure(QUIRAL_TESTING_SEND, error)) return FALSE;
  if (!check_object(event, service_name, object_path, interface_name, error)) return FALSE;
  if (event_path == nullptr || !g_variant_is_object_path(event_path)) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT, "invalid event path '%s'",
                event_path ? event_path : "(null)");
    return FALSE;
  }
  if (!g_utf8_validate(event->change->str, event->change->len, nullptr)) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_DATA, "change description is not UTF-8");
    return FALSE;
  }
  {
    velmora::MutexLock lock(registry_mutex);
    auto it = registry.find(registry_key(service_name, object_path, interface_name));
    if (it == registry.end() || it->second != event) {
      g_set_error(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "%s at %s is not declared", interface_name, object_path);
      return FALSE;
    }
  }
  return broadcast("Event",
                   g_variant_new("(sssssis)", event->name, service_name, object_path, interface_name, event_path,
                                 change_type, event->change->str),
                   error);
}

void quiral_testing_fail(QuiralTestingCall call, gboolean with_error) {
  if (call >= 0 && call < QUIRAL_TESTING_N_CALLS) injected[call].store(with_error ? kWithError : kWithoutError);
}

void quiral_testing_reset(void) {
  for (auto &mode : injected) mode.store(kNone);
}

const gchar *quiral_testing_change_string(ConfigurationEvent *event) {
  return event != nullptr ? event->change->str : nullptr;
}

}  // extern "C"
