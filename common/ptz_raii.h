// Owners of GLib allocations held across C++ scopes (the lock type is in
// common/ptz_mutex.h).
#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>
#include <utility>

namespace velmora {

struct GFreeDeleter {
  void operator()(void *p) const { g_free(p); }
};
struct StrvDeleter {
  void operator()(gchar **p) const { g_strfreev(p); }
};
struct GObjectDeleter {
  void operator()(gpointer p) const {
    if (p) g_object_unref(p);
  }
};
struct GKeyFileDeleter {
  void operator()(GKeyFile *k) const {
    if (k) g_key_file_unref(k);
  }
};

using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;
using StrvPtr = std::unique_ptr<gchar *, StrvDeleter>;
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;
using GKeyFilePtr = std::unique_ptr<GKeyFile, GKeyFileDeleter>;

// A local GError: GLib's calls write it through out(), it is freed with its
// owner.
class GErrorPtr {
 public:
  GErrorPtr() = default;
  ~GErrorPtr() { g_clear_error(&error_); }
  GErrorPtr(const GErrorPtr &) = delete;
  GErrorPtr &operator=(const GErrorPtr &) = delete;

  // For the GError ** argument of a GLib call; frees what was held.
  GError **out() {
    g_clear_error(&error_);
    return &error_;
  }
  GError *get() const { return error_; }
  GError *operator->() const { return error_; }
  explicit operator bool() const { return error_ != nullptr; }
  // The error's message, or `none` when no error was set.
  const char *message(const char *none) const { return error_ != nullptr ? error_->message : none; }
  // Hands the error on (to g_propagate_error(), say).
  GError *release() { return std::exchange(error_, nullptr); }

 private:
  GError *error_ = nullptr;
};

}  // namespace velmora
