/* PTZDynamicalProperties: an object whose named, typed values are added at
 * run time. Every change of a value is announced with the signal
 * "notify_change" (one string parameter, the property name); announcements
 * can be frozen and are delivered in order when the last freeze is released.
 *
 * Any thread may call any function. All instances share three locks: one over
 * every property table, one over every notification queue, and one held while
 * a batch of "notify_change" emissions runs, so batches never interleave. A
 * handler may change properties or release freezes itself: its notifications
 * follow the batch being delivered. */
#ifndef PTZ_DYNAMICAL_PROPERTIES_H
#define PTZ_DYNAMICAL_PROPERTIES_H

#include <glib.h>
#include <glib-object.h>

#include "ptz_export.h"

G_BEGIN_DECLS

#define PTZ_TYPE_DYNAMICAL_PROPERTIES (ptz_dynamical_properties_get_type ())
#define PTZ_DYNAMICAL_PROPERTIES(obj) \
  (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_DYNAMICAL_PROPERTIES, PTZDynamicalProperties))
#define PTZ_DYNAMICAL_PROPERTIES_CLASS(klass) \
  (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_DYNAMICAL_PROPERTIES, PTZDynamicalPropertiesClass))
#define PTZ_IS_DYNAMICAL_PROPERTIES(obj) \
  (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_DYNAMICAL_PROPERTIES))
#define PTZ_IS_DYNAMICAL_PROPERTIES_CLASS(klass) \
  (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_DYNAMICAL_PROPERTIES))
#define PTZ_DYNAMICAL_PROPERTIES_GET_CLASS(obj) \
  (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_DYNAMICAL_PROPERTIES, PTZDynamicalPropertiesClass))

typedef struct _PTZDynamicalProperties PTZDynamicalProperties;
typedef struct _PTZDynamicalPropertiesClass PTZDynamicalPropertiesClass;
typedef struct _PTZDynamicalPropertiesNotifyQueue PTZDynamicalPropertiesNotifyQueue;

/* Names waiting for their notification while frozen, newest first. Each name
 * is the queue's own copy. Guarded by the process-wide queue lock. */
struct _PTZDynamicalPropertiesNotifyQueue
{
  GSList *names;
  guint16 freeze_count;
};

struct _PTZDynamicalProperties
{
  GObject parent;

  /* name (owned key) -> heap-allocated GValue (owned); guarded by the
   * process-wide properties lock. */
  GHashTable *properties;
  PTZDynamicalPropertiesNotifyQueue nqueue;
};

struct _PTZDynamicalPropertiesClass
{
  GObjectClass parent_class;

  gchar *(*set_from_string) (PTZDynamicalProperties *self, const gchar *set);
  gchar *(*string_to_gvalue) (GValue **value, const gchar *string);
  gchar *(*gvalue_to_string) (const gchar *name, const GValue *value);
  void (*set) (PTZDynamicalProperties *self, const gchar *name, GValue *value);
  GValue *(*get) (PTZDynamicalProperties *self, const gchar *name);
  gint (*compare) (PTZDynamicalProperties *self, const gchar *name, const GValue *value);
  void (*clear) (PTZDynamicalProperties *self);

  /* Id of the "notify_change" signal. */
  guint notify_change_signal;
};

PTZ_API GType ptz_dynamical_properties_get_type (void);

PTZ_API PTZDynamicalProperties *ptz_dynamical_properties_new (void);

/**
 * ptz_dynamical_properties_set:
 * @self: an object
 * @name: the property's name
 * @value: (transfer full): a fresh heap-allocated value (never the one
 *   stored for @name)
 *
 * Stores @value under @name and announces the change when it differs from
 * the stored value (strings compare ignoring ASCII case).
 */
PTZ_API void ptz_dynamical_properties_set (PTZDynamicalProperties *self, const gchar *name,
                                           GValue *value);

/* Parses a formatted string ("name:type:value", see ptz_gvalue_utils.h) and
 * stores the value like ptz_dynamical_properties_set. Returns the name (new
 * string), or NULL when the string does not parse. */
PTZ_API gchar *ptz_dynamical_properties_set_from_string (PTZDynamicalProperties *self,
                                                        const gchar *set);

/**
 * ptz_dynamical_properties_get:
 * @self: an object
 * @name: the property's name
 *
 * Returns: (transfer none) (nullable): the stored value, owned by @self
 *   (valid until the property is set again or @self is cleared or
 *   finalized), or %NULL
 */
PTZ_API GValue *ptz_dynamical_properties_get (PTZDynamicalProperties *self, const gchar *name);

/* 0 when the stored value equals value, non-zero otherwise. */
PTZ_API gint ptz_dynamical_properties_compare (PTZDynamicalProperties *self, const gchar *name,
                                               const GValue *value);

/* Removes every property; announces nothing. */
PTZ_API void ptz_dynamical_properties_clear (PTZDynamicalProperties *self);

/**
 * ptz_dynamical_properties_string_to_gvalue:
 * @self: an object
 * @value: (out) (transfer full): the parsed value
 * @string: a formatted string, "name:type:value"
 *
 * Returns: (transfer full) (nullable): the name, or %NULL when @string does
 *   not parse (*@value is then untouched)
 */
PTZ_API gchar *ptz_dynamical_properties_string_to_gvalue (PTZDynamicalProperties *self,
                                                         GValue **value, const gchar *string);

/* New formatted string for name and value, or NULL for an unsupported type. */
PTZ_API gchar *ptz_dynamical_properties_gvalue_to_string (PTZDynamicalProperties *self,
                                                         const gchar *name, const GValue *value);

/* Freezes announcements (at most 65535 times); changes are queued. */
PTZ_API void ptz_dynamical_properties_freeze_notify (PTZDynamicalProperties *self);

/* Releases one freeze; the last one delivers the queued announcements in the
 * order of the changes. */
PTZ_API void ptz_dynamical_properties_thaw_notify (PTZDynamicalProperties *self);

/**
 * ptz_dynamical_properties_finalize: (skip)
 * @object: a #PTZDynamicalProperties being finalized
 *
 * The class's finalize, for subclasses written in C to chain to.
 */
PTZ_API void ptz_dynamical_properties_finalize (GObject *object);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZDynamicalProperties, g_object_unref)

G_END_DECLS

#endif /* PTZ_DYNAMICAL_PROPERTIES_H */
