// Internal interface between the parameter-service layer, the asynchronous
// push and their tests.
#pragma once

#include <glib.h>

namespace velmora {

// Reads the parameter at a complete path (not a format, no length limit) as
// UTF-8; NULL when the service has no value or the conversion fails.
gchar *tamsel_read(const gchar *path);

// Writes `val` to a complete path with `mode` (and `opt_value` when greater
// than 0); a reported failure that a read-back of `val` disproves is cleared.
// Returns the service's error code.
gint tamsel_write(gint32 opt_value, guint32 mode, const gchar *val, const gchar *path);

// The process-wide pool of the asynchronous push, created on first use;
// NULL when it cannot be created.
GThreadPool *tamsel_async_thread_pool();

namespace testing {
// Called by the worker before each retry pause with the failed attempt's
// number and the unscaled pause in milliseconds. NULL (the default) disables.
using TamselRetryPauseObserver = void (*)(guint attempt, guint64 pause_ms);
void set_tamsel_retry_pause_observer(TamselRetryPauseObserver observer);
}  // namespace testing

}  // namespace velmora
