/* Legacy configuration service: publishes a service's
 * "com.brantel.Configuration.Legacy" skeleton on the system bus under the
 * framework's object path, declares it to the configuration-event service,
 * announces changed values with "PropertiesChanged" and sends configuration
 * events.
 *
 * The caller creates the skeleton (see the generated binding included
 * below), answers its methods through the handler signals, and keeps it
 * alive until after ptz_legacy_config_cleanup. */
#ifndef PTZ_LEGACY_CONFIG_H
#define PTZ_LEGACY_CONFIG_H

#include <gio/gio.h>
#include <glib-object.h>
#include <glib.h>

#include "ptz_export.h"
#include "ptz_legacy_config_dynamic_generated_dbus.h"

G_BEGIN_DECLS

typedef struct _PTZLegacyConfigHandler PTZLegacyConfigHandler;

/* Exports `skeleton` at "/com/brantel/PTZ/<object_name>" (dots of the name
 * as slashes) and declares that object for `service_name` with events named
 * `event_name`. NULL on failure, with nothing left exported or declared. */
PTZ_API PTZLegacyConfigHandler *ptz_legacy_config_setup (GDBusInterfaceSkeleton *skeleton,
                                                         const gchar *event_name,
                                                         const gchar *service_name,
                                                         const gchar *object_name);
/* Undeclares, unexports and releases; NULL is ignored. */
PTZ_API void ptz_legacy_config_cleanup (PTZLegacyConfigHandler *handler);
/* Broadcasts "PropertiesChanged" for one key; the value must hold an int,
 * a boolean or a string (other types are logged and not sent). */
PTZ_API void ptz_legacy_config_prop_changed (PTZLegacyConfigHandler *handler, const gchar *key,
                                             const GValue *value);
/* Sends one configuration event describing the pairs of `pairs` (string to
 * string, may be NULL) at the object path, or at "<object path>/<index>"
 * when `index` is not negative. */
PTZ_API gboolean ptz_legacy_config_send_event (PTZLegacyConfigHandler *handler, gint change_type,
                                               gint index, GHashTable *pairs);

/* g_autoptr() support: the cleanup is ptz_legacy_config_cleanup(). */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZLegacyConfigHandler, ptz_legacy_config_cleanup)

G_END_DECLS

#endif /* PTZ_LEGACY_CONFIG_H */
