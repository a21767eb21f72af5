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
#define PTZ_IS_DYNAMICAL_PROPERTIES(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_DYNAMICAL_PROPERTIES))
#define PTZ_IS_DYNAMICAL_PROPERTIES_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_DYNAMICAL_PROPERTIES))
#define PTZ_DYNAMICAL_PROPERTIES_GET_CLASS(obj) \
  (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_DYNAMICAL_PROPERTIES, PTZDynamicalPropertiesClass))

typedef struct _PTZDynamicalProperties PTZDynamicalProperties;
typedef struct _PTZDynamicalPropertiesClass PTZDynamicalPropertiesClass;
typedef struct _PTZDynamicalPropertiesNotifyQueue PTZDynamicalPropertiesNotifyQueue;

/**
 * PTZDynamicalPropertiesNotifyQueue:
 * @names: (element-type utf8): the names waiting for their announcement
 *   while announcements are frozen, newest first; each is the queue's own
 *   copy
 * @freeze_count: the number of freezes not yet released, at most 65535
 *
 * The announcements an object holds back while it is frozen. Guarded by
 * the process-wide queue lock: the library's.
 */
struct _PTZDynamicalPropertiesNotifyQueue
{
  GSList *names;
  guint16 freeze_count;
};

/**
 * PTZDynamicalProperties:
 * @properties: (element-type utf8 GValue): name (owned) to heap-allocated
 *   value (owned); guarded by the process-wide properties lock
 * @nqueue: the announcements held back while frozen
 *
 * An object whose named, typed values (properties) are added at run time,
 * by #GValue or by formatted string ("name:type:value", see
 * ptz_gvalue_utils_formatted_string_to_gvalue()). Every change of a value
 * is announced with the signal #PTZDynamicalProperties::notify-change,
 * carrying the property's name. Like GObject's own notifications, the
 * announcements can be frozen (ptz_dynamical_properties_freeze_notify()):
 * changes are then queued, and delivered in order, one announcement per
 * change, when the last freeze is released. Names are case-sensitive.
 *
 * Any thread may call any function. All instances share three locks: one
 * over every property table, one over every announcement queue, and one
 * held while a batch of announcements runs, so batches never interleave;
 * announcements run on the thread that made the change or released the
 * last freeze, with only that last lock held. A handler may change
 * properties or release freezes itself: what that announces follows the
 * batch being delivered, on the same thread.
 *
 * The class is derivable: every operation but freezing and thawing goes
 * through a slot of the class record. The fields are the library's.
 */
struct _PTZDynamicalProperties
{
  GObject parent;

  GHashTable *properties;
  PTZDynamicalPropertiesNotifyQueue nqueue;
};

/**
 * PTZDynamicalPropertiesClass:
 * @parent_class: the parent class
 * @set_from_string: parses and stores a formatted string; see the virtual
 *   method
 * @string_to_gvalue: parses a formatted string into a new value and returns
 *   the name (new string) or %NULL; the default is
 *   ptz_gvalue_utils_formatted_string_to_gvalue()
 * @gvalue_to_string: formats a name and a value as a new formatted string,
 *   or %NULL for an unsupported type; the default is
 *   ptz_gvalue_utils_gvalue_to_formatted_string()
 * @set: stores a value; see the virtual method
 * @get: looks a value up; see the virtual method
 * @compare: compares with the stored value; see the virtual method
 * @clear: removes every property; see the virtual method
 * @notify_change_signal: the id of the #PTZDynamicalProperties::notify-change
 *   signal
 *
 * The class of #PTZDynamicalProperties. Each public function of the same
 * name calls its slot, so a subclass overrides behaviour by setting them.
 */
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

  guint notify_change_signal;
};

/**
 * PTZDynamicalPropertiesClass::set_from_string:
 * @self: the object
 * @set: a formatted string
 *
 * Parses @set with the class's string_to_gvalue and stores the value with
 * its set.
 *
 * Returns: (transfer full) (nullable): the name, or %NULL when @set does
 *   not parse
 */

/**
 * PTZDynamicalPropertiesClass::set:
 * @self: the object
 * @name: the property's name
 * @value: (transfer full): a fresh heap-allocated value
 *
 * Stores @value under @name and announces the change; see
 * ptz_dynamical_properties_set().
 */

/**
 * PTZDynamicalPropertiesClass::get:
 * @self: the object
 * @name: the property's name
 *
 * Looks the value of @name up.
 *
 * Returns: (transfer none) (nullable): the stored value, or %NULL
 */

/**
 * PTZDynamicalPropertiesClass::compare:
 * @self: the object
 * @name: (nullable): the property's name
 * @value: a value
 *
 * Runs the change test of @value against the stored value; see
 * ptz_dynamical_properties_compare().
 *
 * Returns: 0 when @value equals the stored value, non-zero otherwise
 */

/**
 * PTZDynamicalPropertiesClass::clear:
 * @self: the object
 *
 * Removes every property without announcing anything.
 */

/**
 * PTZDynamicalProperties::notify-change:
 * @object: the object whose property changed
 * @name: the property's name
 *
 * Announces that a property was added or changed value (or type): emitted
 * once per change, on the thread that made it, or, while the object is
 * frozen, when the last freeze is released. Setting a value equal to the
 * stored one (strings compare ignoring ASCII case) announces nothing.
 * Registered as "notify_change", without detail, with the flags
 * %G_SIGNAL_RUN_LAST, %G_SIGNAL_NO_RECURSE and %G_SIGNAL_NO_HOOKS.
 */

PTZ_API GType ptz_dynamical_properties_get_type (void);

/**
 * ptz_dynamical_properties_new:
 *
 * Creates an object without properties. Any thread may call it.
 *
 * Returns: (transfer full): the new object (release it with
 *   g_object_unref())
 */
PTZ_API PTZDynamicalProperties *ptz_dynamical_properties_new (void);

/**
 * ptz_dynamical_properties_set:
 * @self: an object
 * @name: the property's name
 * @value: (transfer full): a fresh heap-allocated value (never the one
 *   stored for @name)
 *
 * Stores @value under @name and announces the change when it differs from
 * the stored value: a new name, another type, or another value (booleans,
 * ints and doubles exactly, strings ignoring ASCII case; other types log
 * "_ptz_dynamical_properties_cmp: Unknown type for dynamic property" and
 * count as unchanged). The new value replaces the stored one even when it
 * counts as unchanged, so a string's letter case follows the latest set.
 * While the object is not frozen the announcement is made before the call
 * returns, on the calling thread. A value that is not a valid #GValue logs
 * "GValue corrupt for <name>" and is freed, not stored. %NULL arguments
 * are refused with a critical. Any thread may call it.
 */
PTZ_API void ptz_dynamical_properties_set (PTZDynamicalProperties *self, const gchar *name, GValue *value);

/**
 * ptz_dynamical_properties_set_from_string:
 * @self: an object
 * @set: a formatted string, "name:type:value" (see
 *   ptz_gvalue_utils_formatted_string_to_gvalue())
 *
 * Parses @set and stores the value like ptz_dynamical_properties_set():
 * "tilt:int32:10" stores the int 10 under "tilt". A string that does not
 * parse stores nothing (the parser reports why with a critical). Any
 * thread may call it.
 *
 * Returns: (transfer full) (nullable): the name (free it with g_free()),
 *   or %NULL when @set does not parse
 */
PTZ_API gchar *ptz_dynamical_properties_set_from_string (PTZDynamicalProperties *self, const gchar *set);

/**
 * ptz_dynamical_properties_get:
 * @self: an object
 * @name: the property's name
 *
 * Looks a property up. Any thread may call it, but the value it returns
 * stays valid only until the property is set again, on any thread.
 *
 * Returns: (transfer none) (nullable): the stored value, owned by @self
 *   (valid until the property is set again or @self is cleared or
 *   finalized), or %NULL when there is no such property
 */
PTZ_API GValue *ptz_dynamical_properties_get (PTZDynamicalProperties *self, const gchar *name);

/**
 * ptz_dynamical_properties_compare:
 * @self: an object
 * @name: (nullable): the property's name
 * @value: a value
 *
 * Runs the change test of ptz_dynamical_properties_set() without storing
 * anything. Any thread may call it.
 *
 * Returns: 0 when @value equals the stored value; 1 when there is no such
 *   property, the types differ or a boolean, int or double differs; for
 *   strings the signed result of an ASCII case-insensitive comparison
 */
PTZ_API gint ptz_dynamical_properties_compare (PTZDynamicalProperties *self, const gchar *name, const GValue *value);

/**
 * ptz_dynamical_properties_clear:
 * @self: an object
 *
 * Removes every property, announcing nothing; values returned by
 * ptz_dynamical_properties_get() become invalid. Announcements already
 * queued while frozen stay queued. Any thread may call it.
 */
PTZ_API void ptz_dynamical_properties_clear (PTZDynamicalProperties *self);

/**
 * ptz_dynamical_properties_string_to_gvalue:
 * @self: an object
 * @value: (out) (transfer full): the parsed value (release it with
 *   g_value_unset() and g_free())
 * @string: a formatted string, "name:type:value"
 *
 * Parses @string with the class's string_to_gvalue (by default
 * ptz_gvalue_utils_formatted_string_to_gvalue()); @self only chooses the
 * class. Nothing is stored. Any thread may call it.
 *
 * Returns: (transfer full) (nullable): the name (free it with g_free()),
 *   or %NULL when @string does not parse (*@value is then untouched)
 */
PTZ_API gchar *ptz_dynamical_properties_string_to_gvalue (PTZDynamicalProperties *self, GValue **value,
                                                          const gchar *string);

/**
 * ptz_dynamical_properties_gvalue_to_string:
 * @self: an object; it only chooses the class
 * @name: the name
 * @value: a boolean, int, double or string value
 *
 * Formats @name and @value with the class's gvalue_to_string (by default
 * ptz_gvalue_utils_gvalue_to_formatted_string()). Any thread may call it.
 *
 * Returns: (transfer full) (nullable): a new formatted string (free it with
 *   g_free()), or %NULL for an unsupported type
 */
PTZ_API gchar *ptz_dynamical_properties_gvalue_to_string (PTZDynamicalProperties *self, const gchar *name,
                                                          const GValue *value);

/**
 * ptz_dynamical_properties_freeze_notify:
 * @self: an object
 *
 * Freezes announcements: changes are queued until the matching
 * ptz_dynamical_properties_thaw_notify(). Freezes nest, up to 65535; one
 * more logs the critical "Free queue for <type> (<address>) is larger than
 * 65535, ..." and is not counted. Any thread may call it.
 */
PTZ_API void ptz_dynamical_properties_freeze_notify (PTZDynamicalProperties *self);

/**
 * ptz_dynamical_properties_thaw_notify:
 * @self: a frozen object
 *
 * Releases one freeze. The last one delivers the queued announcements, on
 * the calling thread, in the order of the changes and one per change (a
 * property changed three times is announced three times). On an object
 * that is not frozen it fails with the critical
 * "self->nqueue.freeze_count > 0". Any thread may call it.
 */
PTZ_API void ptz_dynamical_properties_thaw_notify (PTZDynamicalProperties *self);

/**
 * ptz_dynamical_properties_finalize: (skip)
 * @object: a #PTZDynamicalProperties being finalized
 *
 * The class's finalize, for subclasses written in C to chain to: queued
 * announcements are dropped, the properties released.
 */
PTZ_API void ptz_dynamical_properties_finalize (GObject *object);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZDynamicalProperties, g_object_unref)

G_END_DECLS

#endif /* PTZ_DYNAMICAL_PROPERTIES_H */
