// Pieces shared by the D-Bus server, client and legacy configuration service.
#pragma once

#include <gio/gio.h>

namespace velmora::gdbus {

inline constexpr const char *kBusNameFormat = "com.brantel.PTZ.%s";

// Opens the system bus for a class record; logs and returns NULL on failure.
GDBusConnection *open_system_bus();

// The framework's object path for a service or object name: the name with
// its dots turned into slashes under "/com/brantel/PTZ", followed by
// "/<index>" unless the index is -1. New string; NULL for a NULL name.
gchar *object_path(const gchar *name, gint index);

}  // namespace velmora::gdbus
