// Argument guards in GLib's return-if-fail style that name the bare function
// (G_STRFUNC in C++ would print the whole C++ signature), so the criticals
// read the same as those of a C library.
//
// The one policy for public functions: a function that dereferences a
// caller's argument checks it with these macros in its first lines (a type
// check for an object, a NULL check otherwise, and "p != NULL || length == 0"
// for a buffer), so misuse costs a critical and a failure result, never the
// process. Release functions take NULL silently, as g_free does. g_assert is
// kept for the few contracts documented as fatal (the serialization readers
// and writers, the parameter service's formatted calls, the legacy
// configuration's handler, ...), where its text is the condition.
#pragma once

#include <glib.h>

#define PTZ_RETURN_IF_FAIL(expr)                               \
  do {                                                         \
    if (G_UNLIKELY(!(expr))) {                                 \
      g_return_if_fail_warning(G_LOG_DOMAIN, __func__, #expr); \
      return;                                                  \
    }                                                          \
  } while (0)

#define PTZ_RETURN_VAL_IF_FAIL(expr, val)                      \
  do {                                                         \
    if (G_UNLIKELY(!(expr))) {                                 \
      g_return_if_fail_warning(G_LOG_DOMAIN, __func__, #expr); \
      return (val);                                            \
    }                                                          \
  } while (0)

#define PTZ_RETURN_VAL_IF_REACHED(val)                                                                            \
  do {                                                                                                            \
    g_log(G_LOG_DOMAIN, G_LOG_LEVEL_CRITICAL, "file %s: line %d (%s): should not be reached", __FILE__, __LINE__, \
          __func__);                                                                                              \
    return (val);                                                                                                 \
  } while (0)
