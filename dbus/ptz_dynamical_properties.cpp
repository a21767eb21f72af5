// PTZDynamicalProperties: named, typed values added at run time, whose changes
// are announced with "notify_change" and can be frozen and thawed.
// This file keeps GLib's layout: the criticals of its guards print their
// conditions as written here ("PTZ_IS_DYNAMICAL_PROPERTIES (self)").
// clang-format off
#include "ptz_dynamical_properties.h"

#include <deque>

#include "common/ptz_guard.h"
#include "common/ptz_log.h"
#include "common/ptz_mutex.h"
#include "common/ptz_raii.h"
#include "ptz_gvalue_utils.h"

namespace {

// The names the properties log under.
constexpr char kCompare[] = "_ptz_dynamical_properties_cmp";
constexpr char kThawNotify[] = "ptz_dynamical_properties_thaw_notify";

// Process-wide locks shared by every instance: properties_lock guards the
// instances' property tables, queue_lock their queues of changed names and
// freeze counts. Order: properties, then queue. Neither is held while
// "notify_change" handlers run or while a released value is destroyed
// (destroying an object value can run arbitrary code).
velmora::Mutex properties_lock;
velmora::Mutex queue_lock;
// Held while one batch of emissions runs, so batches never interleave.
velmora::Mutex emission_lock;
using Lock = velmora::MutexLock;

guint notify_change_signal;

// Notifications waiting on this thread. Those caused by a "notify_change"
// handler are delivered after the one being handled instead of nesting (which
// would block on the emission lock, or be swallowed by the signal's
// no-recursion rule on the same instance).
struct Notification {
  velmora::GObjectPtr<PTZDynamicalProperties> self;
  velmora::GCharPtr name;
};
thread_local bool delivering = false;
thread_local std::deque<Notification> pending;

void free_value (gpointer value)
{
  g_value_unset (static_cast<GValue *> (value));
  g_free (value);
}

GHashTable *new_property_table ()
{
  return g_hash_table_new_full (g_str_hash, g_str_equal, g_free, free_value);
}

guint16 freeze_count (const PTZDynamicalProperties *self)
{
  return __atomic_load_n (&self->nqueue.freeze_count, __ATOMIC_RELAXED);
}

// The atomic store pairs with the unlocked read of the thaw guard.
void set_freeze_count (PTZDynamicalProperties *self, guint16 count) VELMORA_REQUIRES (queue_lock)
{
  __atomic_store_n (&self->nqueue.freeze_count, count, __ATOMIC_RELAXED);
}

// The queued names, oldest first, leaving the queue empty.
GSList *take_queue (PTZDynamicalProperties *self) VELMORA_REQUIRES (queue_lock)
{
  GSList *names = g_slist_reverse (self->nqueue.names);
  self->nqueue.names = nullptr;
  return names;
}

gint ascii_casecmp0 (const gchar *a, const gchar *b)
{
  if (a == nullptr || b == nullptr)
    return a == b ? 0 : (a == nullptr ? -1 : 1);
  return g_ascii_strcasecmp (a, b);
}

// The change test: 0 when value equals the stored one (strings ignoring ASCII
// case), non-zero when it differs. Types it does not know count as unchanged.
gint difference (const GValue *stored, const GValue *value)
{
  if (stored == nullptr || value == nullptr || G_VALUE_TYPE (stored) != G_VALUE_TYPE (value))
    return 1;
  switch (G_VALUE_TYPE (value)) {
  case G_TYPE_BOOLEAN:
    return (!g_value_get_boolean (stored)) != (!g_value_get_boolean (value)) ? 1 : 0;
  case G_TYPE_INT:
    return g_value_get_int (stored) != g_value_get_int (value) ? 1 : 0;
  case G_TYPE_DOUBLE:
    return g_value_get_double (stored) != g_value_get_double (value) ? 1 : 0;
  case G_TYPE_STRING:
    return ascii_casecmp0 (g_value_get_string (stored), g_value_get_string (value));
  default:
    PTZ_LOG_ERR ("%s: Unknown type for dynamic property", kCompare);
    return 0;
  }
}

// Emits "notify_change" for each name (oldest first; the list and names are
// consumed). On a thread that is already delivering, the names wait for that
// delivery to reach them.
void deliver (PTZDynamicalProperties *self, GSList *names)
{
  // Each waiting name holds a reference: a handler may drop the caller's.
  for (GSList *l = names; l != nullptr; l = l->next)
    pending.push_back ({velmora::GObjectPtr<PTZDynamicalProperties> (
                            PTZ_DYNAMICAL_PROPERTIES (g_object_ref (self))),
                        velmora::GCharPtr (static_cast<gchar *> (l->data))});
  g_slist_free (names);
  if (delivering || pending.empty ())
    return;

  Lock emission (emission_lock);
  delivering = true;
  while (!pending.empty ()) {
    Notification next = std::move (pending.front ());
    pending.pop_front ();
    g_signal_emit (next.self.get (), notify_change_signal, 0, next.name.get ());
  }
  delivering = false;
}

// Stores value (taking ownership) and announces the change.
void store_value (PTZDynamicalProperties *self, const gchar *name, GValue *value)
{
  GValue released = G_VALUE_INIT;
  GSList *batch = nullptr;
  {
    Lock properties (properties_lock);
    if (!g_type_check_value (value)) {
      PTZ_LOG_ERR ("GValue corrupt for %s\n", name);
      // Its type is unknown, so there is nothing to unset; the caller handed
      // the allocation over.
      g_free (value);
      return;
    }

    gpointer stored = nullptr;
    gint changed = 1;
    if (g_hash_table_lookup_extended (self->properties, name, nullptr, &stored)) {
      if (stored == value)
        return;  // the stored value itself: nothing changes
      changed = difference (static_cast<GValue *> (stored), value);
      // The entry keeps its key and storage; the new value moves in (even when
      // unchanged, so a string's letter case follows the latest set).
      released = *static_cast<GValue *> (stored);
      *static_cast<GValue *> (stored) = *value;
      g_free (value);
    } else {
      g_hash_table_insert (self->properties, g_strdup (name), value);
    }

    if (changed != 0) {
      Lock queue (queue_lock);
      self->nqueue.names = g_slist_prepend (self->nqueue.names, g_strdup (name));
      if (self->nqueue.freeze_count == 0)
        batch = take_queue (self);
    }
  }
  if (G_IS_VALUE (&released))
    g_value_unset (&released);
  deliver (self, batch);
}

PTZDynamicalPropertiesClass *class_of (PTZDynamicalProperties *self)
{
  return PTZ_DYNAMICAL_PROPERTIES_GET_CLASS (self);
}

// Default slots.

gchar *real_string_to_gvalue (GValue **value, const gchar *string)
{
  gchar *name = nullptr;
  if (!ptz_gvalue_utils_formatted_string_to_gvalue (string, &name, value))
    return nullptr;
  return name;
}

gchar *real_gvalue_to_string (const gchar *name, const GValue *value)
{
  return ptz_gvalue_utils_gvalue_to_formatted_string (name, value);
}

gchar *real_set_from_string (PTZDynamicalProperties *self, const gchar *set)
{
  PTZDynamicalPropertiesClass *klass = class_of (self);
  GValue *value = nullptr;
  gchar *name = klass->string_to_gvalue (&value, set);
  if (name != nullptr && value != nullptr)
    klass->set (self, name, value);
  return name;
}

void real_set (PTZDynamicalProperties *self, const gchar *name, GValue *value)
{
  store_value (self, name, value);
}

GValue *real_get (PTZDynamicalProperties *self, const gchar *name)
{
  Lock properties (properties_lock);
  return static_cast<GValue *> (g_hash_table_lookup (self->properties, name));
}

gint real_compare (PTZDynamicalProperties *self, const gchar *name, const GValue *value)
{
  if (name == nullptr)
    return 1;
  Lock properties (properties_lock);
  return difference (static_cast<GValue *> (g_hash_table_lookup (self->properties, name)), value);
}

void real_clear (PTZDynamicalProperties *self)
{
  GHashTable *old;
  {
    Lock properties (properties_lock);
    old = self->properties;
    self->properties = new_property_table ();
  }
  g_hash_table_unref (old);
}

}  // namespace

extern "C" {

G_DEFINE_TYPE (PTZDynamicalProperties, ptz_dynamical_properties, G_TYPE_OBJECT)

static void
ptz_dynamical_properties_class_init (PTZDynamicalPropertiesClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  object_class->finalize = ptz_dynamical_properties_finalize;

  klass->set_from_string = real_set_from_string;
  klass->string_to_gvalue = real_string_to_gvalue;
  klass->gvalue_to_string = real_gvalue_to_string;
  klass->set = real_set;
  klass->get = real_get;
  klass->compare = real_compare;
  klass->clear = real_clear;

  notify_change_signal = g_signal_new ("notify_change", G_TYPE_FROM_CLASS (klass),
                                       GSignalFlags (G_SIGNAL_RUN_LAST | G_SIGNAL_NO_RECURSE |
                                                     G_SIGNAL_NO_HOOKS),
                                       0, nullptr, nullptr, g_cclosure_marshal_VOID__STRING,
                                       G_TYPE_NONE, 1, G_TYPE_STRING);
  klass->notify_change_signal = notify_change_signal;
}

static void
ptz_dynamical_properties_init (PTZDynamicalProperties *self)
{
  self->properties = new_property_table ();
  self->nqueue.names = nullptr;
  self->nqueue.freeze_count = 0;
}

void
ptz_dynamical_properties_finalize (GObject *object)
{
  PTZDynamicalProperties *self = PTZ_DYNAMICAL_PROPERTIES (object);
  // Queued names are discarded unannounced.
  g_slist_free_full (self->nqueue.names, g_free);
  self->nqueue.names = nullptr;
  g_clear_pointer (&self->properties, g_hash_table_unref);
  G_OBJECT_CLASS (ptz_dynamical_properties_parent_class)->finalize (object);
}

PTZDynamicalProperties *
ptz_dynamical_properties_new (void)
{
  return PTZ_DYNAMICAL_PROPERTIES (g_object_new (PTZ_TYPE_DYNAMICAL_PROPERTIES, nullptr));
}

void
ptz_dynamical_properties_set (PTZDynamicalProperties *self, const gchar *name, GValue *value)
{
  PTZ_RETURN_IF_FAIL (PTZ_IS_DYNAMICAL_PROPERTIES (self));
  PTZ_RETURN_IF_FAIL (name);
  PTZ_RETURN_IF_FAIL (value);
  class_of (self)->set (self, name, value);
}

gchar *
ptz_dynamical_properties_set_from_string (PTZDynamicalProperties *self, const gchar *set)
{
  PTZ_RETURN_VAL_IF_FAIL (PTZ_IS_DYNAMICAL_PROPERTIES (self), NULL);
  PTZ_RETURN_VAL_IF_FAIL (set, NULL);
  return class_of (self)->set_from_string (self, set);
}

GValue *
ptz_dynamical_properties_get (PTZDynamicalProperties *self, const gchar *name)
{
  PTZ_RETURN_VAL_IF_FAIL (PTZ_IS_DYNAMICAL_PROPERTIES (self), NULL);
  PTZ_RETURN_VAL_IF_FAIL (name, NULL);
  return class_of (self)->get (self, name);
}

gint
ptz_dynamical_properties_compare (PTZDynamicalProperties *self, const gchar *name,
                                  const GValue *value)
{
  if (!PTZ_IS_DYNAMICAL_PROPERTIES (self))
    return 1;
  return class_of (self)->compare (self, name, value);
}

void
ptz_dynamical_properties_clear (PTZDynamicalProperties *self)
{
  if (PTZ_IS_DYNAMICAL_PROPERTIES (self))
    class_of (self)->clear (self);
}

gchar *
ptz_dynamical_properties_string_to_gvalue (PTZDynamicalProperties *self, GValue **value,
                                           const gchar *string)
{
  PTZ_RETURN_VAL_IF_FAIL (string, NULL);
  PTZ_RETURN_VAL_IF_FAIL (value, NULL);
  if (!PTZ_IS_DYNAMICAL_PROPERTIES (self))
    return real_string_to_gvalue (value, string);
  return class_of (self)->string_to_gvalue (value, string);
}

gchar *
ptz_dynamical_properties_gvalue_to_string (PTZDynamicalProperties *self, const gchar *name,
                                           const GValue *value)
{
  if (!PTZ_IS_DYNAMICAL_PROPERTIES (self))
    return real_gvalue_to_string (name, value);
  return class_of (self)->gvalue_to_string (name, value);
}

void
ptz_dynamical_properties_freeze_notify (PTZDynamicalProperties *self)
{
  if (!PTZ_IS_DYNAMICAL_PROPERTIES (self))
    return;
  bool at_limit;
  {
    Lock queue (queue_lock);
    at_limit = self->nqueue.freeze_count == G_MAXUINT16;
    if (!at_limit)
      set_freeze_count (self, self->nqueue.freeze_count + 1);
  }
  if (at_limit)
    g_log (nullptr, G_LOG_LEVEL_CRITICAL,
           "Free queue for %s (%p) is larger than 65535, called g_object_freeze_notify() too "
           "often. Forgot to call ptz_dynamical_properties_notify_queue_thaw() or infinite loop",
           G_OBJECT_TYPE_NAME (self), static_cast<void *> (self));
}

void
ptz_dynamical_properties_thaw_notify (PTZDynamicalProperties *self)
{
  PTZ_RETURN_IF_FAIL (PTZ_IS_DYNAMICAL_PROPERTIES (self));
  if (freeze_count (self) == 0) {
    g_return_if_fail_warning (G_LOG_DOMAIN, __func__, "self->nqueue.freeze_count > 0");
    return;
  }

  GSList *batch = nullptr;
  bool was_frozen;
  {
    Lock queue (queue_lock);
    was_frozen = self->nqueue.freeze_count > 0;
    if (was_frozen) {
      set_freeze_count (self, self->nqueue.freeze_count - 1);
      if (self->nqueue.freeze_count == 0)
        batch = take_queue (self);
    }
  }
  if (!was_frozen) {
    g_warning ("%s: property-changed notification for %s(%p) is not frozen", kThawNotify,
               G_OBJECT_TYPE_NAME (self),
               static_cast<void *> (self));
    return;
  }
  deliver (self, batch);
}

}  // extern "C"
