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

/**
 * PTZLegacyConfigHandler:
 *
 * One published configuration object (opaque): the exported skeleton, its
 * declaration to the configuration-event service and its object path.
 * Made by ptz_legacy_config_setup(), released by
 * ptz_legacy_config_cleanup(). It has no lock: use it on one thread at a
 * time, normally the one that iterates the default main context.
 */
typedef struct _PTZLegacyConfigHandler PTZLegacyConfigHandler;

/**
 * ptz_legacy_config_setup: (skip)
 * @skeleton: the interface skeleton to publish, normally a
 *   #ptzlegacyconfigdynamicConfigurationLegacySkeleton whose handler signals
 *   the caller has connected; it stays the caller's, who keeps it alive
 *   until after ptz_legacy_config_cleanup()
 * @event_name: the name of the configuration events
 * @service_name: the service the object is declared for
 * @object_name: the object's name; its dots become slashes in the path
 *
 * Exports @skeleton on the system bus at "/com/brantel/PTZ/<object_name>"
 * (see ptz_g_dbus_server_dbus_register()) and declares that object path,
 * with the interface "com.brantel.Configuration.Legacy", to the
 * configuration-event service. No bus name is requested: use
 * ptz_g_dbus_server_dbus_request_name() for one. Each failure is logged,
 * "ptz_legacy_config_setup: Failed to register DBus object <name>!",
 * "...: Failed to create configuration event for <event_name>!" or "...:
 * Could not declare configuration event for <path>: <error>", and undoes
 * what was done.
 *
 * Call it on the thread that iterates the main context the skeleton serves in.
 *
 * Returns: a handler (release it with ptz_legacy_config_cleanup()), or
 *   %NULL on failure, with nothing left exported or declared
 */
PTZ_API PTZLegacyConfigHandler *ptz_legacy_config_setup (GDBusInterfaceSkeleton *skeleton, const gchar *event_name,
                                                         const gchar *service_name, const gchar *object_name);
/**
 * ptz_legacy_config_cleanup: (skip)
 * @handler: (nullable): a handler; %NULL does nothing
 *
 * Undeclares the object (a failure logs the warning "Could not undeclare
 * <error>" and cleanup goes on), unexports the skeleton and releases the
 * handler.
 *
 * Call it on the thread that uses the handler.
 */
PTZ_API void ptz_legacy_config_cleanup (PTZLegacyConfigHandler *handler);
/**
 * ptz_legacy_config_prop_changed: (skip)
 * @handler: a handler, not %NULL (a fatal assertion)
 * @key: the changed key, not %NULL (a fatal assertion)
 * @value: its value: an int, a boolean or a string, not %NULL (a fatal
 *   assertion)
 *
 * Broadcasts the D-Bus signal "PropertiesChanged" of
 * "org.freedesktop.DBus.Properties" from the handler's object path, for
 * the interface "com.brantel.Configuration.Legacy": a dictionary holding
 * @key with its value (an int as `i`, a boolean as `b`, a string as the
 * byte string `ay`, its NUL included) and no invalidated properties. Any
 * other type logs "ptz_legacy_config_prop_changed: Can not convert key
 * <key> type <type> to GVariant!" and sends nothing; a failed emission logs
 * the warning "Failed to emit property changed signal: <error>".
 *
 * Use a handler on one thread at a time.
 */
PTZ_API void ptz_legacy_config_prop_changed (PTZLegacyConfigHandler *handler, const gchar *key, const GValue *value);
/**
 * ptz_legacy_config_send_event: (skip)
 * @handler: a handler
 * @change_type: the kind of change, passed through to the
 *   configuration-event service
 * @index: appended to the object path when not negative
 * @pairs: (nullable) (element-type utf8 utf8): the changed pairs; a %NULL
 *   value is sent as the empty text
 *
 * Sends one configuration event describing @pairs (in the table's
 * iteration order) for the object path, or for "<object path>/<index>"
 * (the configuration with that dynamic index). @handler must not be %NULL
 * (a fatal assertion). A failed send logs the warning "Failed to send
 * configuration event, message = <error>".
 *
 * Use a handler on one thread at a time.
 *
 * Returns: %TRUE when the event was sent
 */
PTZ_API gboolean ptz_legacy_config_send_event (PTZLegacyConfigHandler *handler, gint change_type, gint index,
                                               GHashTable *pairs);

/* g_autoptr() support: the cleanup is ptz_legacy_config_cleanup(). */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZLegacyConfigHandler, ptz_legacy_config_cleanup)

G_END_DECLS

#endif /* PTZ_LEGACY_CONFIG_H */
