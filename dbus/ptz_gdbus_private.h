// Pieces shared by the D-Bus server, client and legacy configuration service.
#pragma once

#include <gio/gio.h>

namespace velmora::gdbus {

inline constexpr const char *kBusNameFormat = "com.brantel.PTZ.%s";

// Opens the system bus for the class records, once per process; logs and
// returns NULL on failure. Called from the classes' _get_type functions, never
// from a class_init: opening the bus waits for GDBus's worker thread, which may
// itself need to register a type, and type registration waits for any
// class_init in progress, so opening it there can stall for the call timeout.
void open_system_bus_once();
// A new reference to what open_system_bus_once() opened, or NULL.
GDBusConnection *system_bus();

// The framework's object path for a service or object name: the name with
// its dots turned into slashes under "/com/brantel/PTZ", followed by
// "/<index>" unless the index is -1. New string; NULL for a NULL name.
gchar *object_path(const gchar *name, gint index);

}  // namespace velmora::gdbus
