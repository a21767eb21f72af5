/* Configuration events: a service declares the configuration objects it
 * publishes and sends an event each time one of them changes, with a
 * description of the change as escaped key/value pairs.
 *
 * Results: functions returning gboolean give TRUE on success and FALSE on
 * failure, with the error set. */
#ifndef QUIRAL_H
#define QUIRAL_H

#include <glib.h>

G_BEGIN_DECLS

typedef struct _ConfigurationEvent ConfigurationEvent;

/* A handle for events named `event_name`. `flags` and `reserved` must be 0
 * (no flags are defined yet); NULL for an empty or invalid name or unknown
 * flags. */
ConfigurationEvent *configuration_event_new(const gchar *event_name, guint flags, guint reserved);

/* Declares that `service_name` publishes `interface_name` at `object_path`.
 * One declaration per (service, object path, interface) in a process: a
 * second declaration of the same object fails with G_IO_ERROR_EXISTS. */
gboolean configuration_event_declare(ConfigurationEvent *event, const gchar *service_name, const gchar *object_path,
                                     const gchar *interface_name, GError **error);

/* Withdraws a declaration made with this handle; G_IO_ERROR_NOT_FOUND when
 * the handle has no such declaration. */
gboolean configuration_event_undeclare(ConfigurationEvent *event, const gchar *service_name, const gchar *object_path,
                                       const gchar *interface_name, GError **error);

/* Releases the handle; declarations it still holds are withdrawn. */
void configuration_event_free(ConfigurationEvent *event);

/* Empties the change description of the handle. */
void configuration_event_initialize_change_string(ConfigurationEvent *event);

/* Appends "key=value" to the change description, pairs separated by ";",
 * with "\", ";" and "=" in key and value escaped by a preceding "\". */
void configuration_event_append_escaped_pair_to_change_string(ConfigurationEvent *event, const gchar *key,
                                                              const gchar *value);

/* Sends one event for a declared object: `event_path` names the changed
 * part (an object path), `change_type` is passed on unchanged, and the
 * current change description travels with it. Fails with
 * G_IO_ERROR_NOT_FOUND for an object this handle has not declared. */
gboolean configuration_event_send(ConfigurationEvent *event, const gchar *service_name, const gchar *object_path,
                                  const gchar *interface_name, const gchar *event_path, gint change_type,
                                  GError **error);

G_END_DECLS

#endif /* QUIRAL_H */
