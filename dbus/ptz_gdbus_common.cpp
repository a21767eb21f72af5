// Bus opening, naming scheme and remote error codes.
#include "dbus/ptz_gdbus_private.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "common/ptz_log.h"
#include "common/ptz_raii.h"
#include "ptz_gdbus.h"

namespace velmora::gdbus {

namespace {
GDBusConnection *class_connection = nullptr;
}

void open_system_bus_once() {
  static gsize opened = 0;
  if (!g_once_init_enter(&opened)) return;
  GErrorPtr error;
  class_connection = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, error.out());
  if (class_connection == nullptr) PTZ_LOG_ERR("Could not connect to the bus: %s", error.message(""));
  g_once_init_leave(&opened, 1);
}

GDBusConnection *system_bus() {
  return class_connection != nullptr ? G_DBUS_CONNECTION(g_object_ref(class_connection)) : nullptr;
}

gchar *object_path(const gchar *name, gint index) {
  if (name == nullptr) return nullptr;
  gchar *slashed = g_strdelimit(g_strdup(name), ".", '/');
  gchar *path = index == -1 ? g_strdup_printf("/com/brantel/PTZ/%s", slashed)
                            : g_strdup_printf("/com/brantel/PTZ/%s/%d", slashed, index);
  g_free(slashed);
  return path;
}

}  // namespace velmora::gdbus

extern "C" gint ptz_g_dbus_error_get_remote_error_code(const GError *error) {
  if (error == nullptr || !g_dbus_error_is_remote_error(error)) return -1;
  gchar *name = g_dbus_error_get_remote_error(error);
  gint code = -1;
  const gchar *marker = name ? g_strrstr(name, ".Code") : nullptr;
  if (marker != nullptr) {
    // Blanks and a sign before the digits are accepted, text after them is
    // ignored; a number out of the int range counts as no number.
    const gchar *digits = marker + strlen(".Code");
    gchar *end = nullptr;
    errno = 0;
    gint64 value = g_ascii_strtoll(digits, &end, 10);
    if (end != digits && errno == 0 && value >= INT_MIN && value <= INT_MAX) code = gint(value);
  }
  g_free(name);
  return code;
}
