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

/**
 * ptz_legacy_config_setup: (skip)
 * @skeleton: the interface skeleton to publish
 * @event_name: the name of the configuration events
 * @service_name: the service the object is declared for
 * @object_name: the object's name; its dots become slashes in the path
 *
 * Exports @skeleton at "/com/brantel/PTZ/<object_name>" and declares that
 * object to the configuration-event service.
 *
 * Returns: a handler (release it with ptz_legacy_config_cleanup()), or
 *   %NULL on failure, with nothing left exported or declared
 */
PTZ_API PTZLegacyConfigHandler *ptz_legacy_config_setup (GDBusInterfaceSkeleton *skeleton,
                                                         const gchar *event_name,
                                                         const gchar *service_name,
                                                         const gchar *object_name);
/**
 * ptz_legacy_config_cleanup: (skip)
 * @handler: (nullable): a handler
 *
 * Undeclares, unexports and releases.
 */
PTZ_API void ptz_legacy_config_cleanup (PTZLegacyConfigHandler *handler);
/**
 * ptz_legacy_config_prop_changed: (skip)
 * @handler: a handler
 * @key: the changed key
 * @value: its value: an int, a boolean or a string (other types are logged
 *   and not sent)
 *
 * Broadcasts "PropertiesChanged" for one key.
 */
PTZ_API void ptz_legacy_config_prop_changed (PTZLegacyConfigHandler *handler, const gchar *key,
                                             const GValue *value);
/**
 * ptz_legacy_config_send_event: (skip)
 * @handler: a handler
 * @change_type: the kind of change
 * @index: appended to the object path when not negative
 * @pairs: (nullable) (element-type utf8 utf8): the changed pairs
 *
 * Sends one configuration event describing @pairs at the object path, or
 * at "<object path>/<index>".
 *
 * Returns: %TRUE when the event was sent
 */
PTZ_API gboolean ptz_legacy_config_send_event (PTZLegacyConfigHandler *handler, gint change_type,
                                               gint index, GHashTable *pairs);

/* g_autoptr() support: the cleanup is ptz_legacy_config_cleanup(). */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZLegacyConfigHandler, ptz_legacy_config_cleanup)

G_END_DECLS

#endif /* PTZ_LEGACY_CONFIG_H */
