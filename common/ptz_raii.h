// Owners of GLib allocations held across C++ scopes (the lock type is in
// common/ptz_mutex.h).
#pragma once

#include <glib.h>
#include <glib-object.h>

#include <memory>

namespace velmora {

struct GFreeDeleter {
  void operator()(void *p) const { g_free(p); }
};
struct StrvDeleter {
  void operator()(gchar **p) const { g_strfreev(p); }
};
struct GObjectDeleter {
  void operator()(gpointer p) const { if (p) g_object_unref(p); }
};
struct GErrorDeleter {
  void operator()(GError *e) const { if (e) g_error_free(e); }
};
struct GKeyFileDeleter {
  void operator()(GKeyFile *k) const { if (k) g_key_file_unref(k); }
};

using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;
using StrvPtr = std::unique_ptr<gchar *, StrvDeleter>;
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;
using GKeyFilePtr = std::unique_ptr<GKeyFile, GKeyFileDeleter>;

}  // namespace velmora
