// Named, ordered groups of parameter items.
//
// Every array of the process shares one lock (kept in the class record); each
// call holds it for its own list access only. The map operations call back
// into the caller and therefore walk without it: the caller keeps other
// threads away from the array while they run.

#include "ptz_parameter_item_array.h"

#include <cstring>

#include "common/ptz_guard.h"
#include "common/ptz_mutex.h"

namespace {

enum {
  PROP_0,
  PROP_NAME
};

using velmora::MutexLock;

// The class-wide lock, the class record's GMutex; set once when the class is
// initialised, which happens before any instance exists.
velmora::Mutex *class_lock = nullptr;

velmora::Mutex &array_lock() VELMORA_RETURN_CAPABILITY(*class_lock) { return *class_lock; }

// Copies at most PAR_VAL_MAX_LEN - 1 characters and always terminates; never
// reads past that many bytes of the source.
void copy_value(gchar *dest, const gchar *src) {
  size_t n = src != nullptr ? strnlen(src, PAR_VAL_MAX_LEN - 1) : 0;
  if (n > 0) memcpy(dest, src, n);
  dest[n] = '\0';
}

void replace_string(gchar **field, const gchar *value) {
  gchar *old = *field;
  *field = g_strdup(value);
  g_free(old);
}

void item_free(gpointer data) {
  auto *item = static_cast<PTZParameterItem *>(data);
  g_free(item->name);
  g_free(item->text1);
  g_free(item->text2);
  g_free(item->range);
  g_free(item);
}

PTZParameterItem *append_locked(PTZParameterItemArray *self, const PTZParameterItem *src)
    VELMORA_REQUIRES(array_lock()) {
  auto *item = g_new0(PTZParameterItem, 1);
  item->word1 = src->word1;
  item->name = g_strdup(src->name);
  item->text1 = g_strdup(src->text1);
  copy_value(item->value, src->value);
  item->text2 = g_strdup(src->text2);
  item->word2 = src->word2;
  item->range = g_strdup(src->range);
  item->word3 = src->word3;
  self->items = g_slist_append(self->items, item);
  self->count++;
  return item;
}

GSList *find_link_locked(PTZParameterItemArray *self, const gchar *name) VELMORA_REQUIRES(array_lock()) {
  for (GSList *l = self->items; l != nullptr; l = l->next)
    if (g_strcmp0(static_cast<PTZParameterItem *>(l->data)->name, name) == 0) return l;
  return nullptr;
}

PTZParameterItem *find_locked(PTZParameterItemArray *self, const gchar *name) VELMORA_REQUIRES(array_lock()) {
  GSList *l = find_link_locked(self, name);
  return l != nullptr ? static_cast<PTZParameterItem *>(l->data) : nullptr;
}

// An index equal to count runs off the end and gives NULL.
PTZParameterItem *nth_locked(PTZParameterItemArray *self, guint32 index) VELMORA_REQUIRES(array_lock()) {
  return static_cast<PTZParameterItem *>(g_slist_nth_data(self->items, index));
}

void unlink_locked(PTZParameterItemArray *self, GSList *link) VELMORA_REQUIRES(array_lock()) {
  self->items = g_slist_delete_link(self->items, link);
  self->count--;
}

void clear_locked(PTZParameterItemArray *self) VELMORA_REQUIRES(array_lock()) {
  g_slist_free_full(self->items, item_free);
  self->items = nullptr;
  self->count = 0;
}

// The common part of the two set operations.
void set_fields_locked(PTZParameterItem *item, const gchar *value, const gchar *text2, gint32 word2, const gchar *range,
                       gboolean replace_null_range, gint32 word3) VELMORA_REQUIRES(array_lock()) {
  copy_value(item->value, value);
  if (text2 != nullptr) replace_string(&item->text2, text2);
  item->word2 = word2;
  if (range != nullptr || replace_null_range) replace_string(&item->range, range);
  item->word3 = word3;
}

}  // namespace

G_DEFINE_TYPE(PTZParameterItemArray, ptz_parameter_item_array, G_TYPE_OBJECT)

static void set_property(GObject *object, guint property_id, const GValue *value, GParamSpec *pspec) {
  auto *self = PTZ_PARAMETER_ITEM_ARRAY(object);
  switch (property_id) {
    case PROP_NAME:
      replace_string(&self->name, g_value_get_string(value));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
      break;
  }
}

static void get_property(GObject *object, guint property_id, GValue *value, GParamSpec *pspec) {
  auto *self = PTZ_PARAMETER_ITEM_ARRAY(object);
  switch (property_id) {
    case PROP_NAME:
      g_value_set_string(value, self->name);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
      break;
  }
}

static void ptz_parameter_item_array_class_init(PTZParameterItemArrayClass *klass) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = set_property;
  object_class->get_property = get_property;
  object_class->finalize = ptz_parameter_item_array_finalize;
  g_object_class_install_property(
      object_class, PROP_NAME,
      g_param_spec_string("name", "Group name", "PTZ framework parameter group name", nullptr,
                          GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
  // Subclass records start as copies of this one, so every instance uses this
  // mutex through class_lock, never its own class's copy.
  g_mutex_init(&klass->lock);
  static velmora::Mutex lock(&klass->lock);
  class_lock = &lock;
}

static void ptz_parameter_item_array_init(PTZParameterItemArray *self) {
  self->name = nullptr;
  self->items = nullptr;
  self->count = 0;
}

extern "C" {

void ptz_parameter_item_array_finalize(GObject *object) {
  auto *self = PTZ_PARAMETER_ITEM_ARRAY(object);
  {
    MutexLock lock(array_lock());
    clear_locked(self);
  }
  g_clear_pointer(&self->name, g_free);
  G_OBJECT_CLASS(ptz_parameter_item_array_parent_class)->finalize(object);
}

PTZParameterItemArray *ptz_parameter_item_array_new(const gchar *name) {
  return PTZ_PARAMETER_ITEM_ARRAY(g_object_new(PTZ_TYPE_PARAMETER_ITEM_ARRAY, "name", name, nullptr));
}

void ptz_parameter_item_array_free(PTZParameterItemArray *self) {
  PTZ_RETURN_IF_FAIL(self != NULL);
  MutexLock lock(array_lock());
  clear_locked(self);
}

PTZParameterItem *ptz_parameter_item_array_append(PTZParameterItemArray *self, const PTZParameterItem *item) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL && item != NULL, NULL);
  MutexLock lock(array_lock());
  return append_locked(self, item);
}

// Find and update (or append) happen under one hold of the lock, so two
// threads adding the same name never store it twice.
PTZParameterItem *ptz_parameter_item_array_add(PTZParameterItemArray *self, const PTZParameterItem *item) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL && item != NULL, NULL);
  MutexLock lock(array_lock());
  PTZParameterItem *stored = find_locked(self, item->name);
  if (stored == nullptr) return append_locked(self, item);
  stored->word1 = item->word1;
  replace_string(&stored->text1, item->text1);
  copy_value(stored->value, item->value);
  replace_string(&stored->text2, item->text2);
  stored->word2 = item->word2;
  replace_string(&stored->range, item->range);
  stored->word3 = item->word3;
  return stored;
}

PTZParameterItem *ptz_parameter_item_array_get(PTZParameterItemArray *self, guint32 index) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, NULL);
  MutexLock lock(array_lock());
  return index > self->count ? nullptr : nth_locked(self, index);
}

PTZParameterItem *ptz_parameter_item_array_get_by_name(PTZParameterItemArray *self, const gchar *name) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, NULL);
  MutexLock lock(array_lock());
  return find_locked(self, name);
}

// Set operations: a value that does not fit the item's buffer is refused
// rather than cut, so a caller never believes a truncated value was stored.
PTZParameterItem *ptz_parameter_item_array_set(PTZParameterItemArray *self, guint32 index, const gchar *value,
                                               const gchar *text2, gint32 word2, const gchar *range, gint32 word3) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, NULL);
  PTZ_RETURN_VAL_IF_FAIL(value != NULL, NULL);
  PTZ_RETURN_VAL_IF_FAIL(strlen(value) < PAR_VAL_MAX_LEN, NULL);
  PTZParameterItem *item;
  {
    MutexLock lock(array_lock());
    if (index > self->count) return nullptr;
    item = nth_locked(self, index);
    if (item != nullptr) set_fields_locked(item, value, text2, word2, range, TRUE, word3);
  }
  PTZ_RETURN_VAL_IF_FAIL(item != NULL, NULL);
  return item;
}

PTZParameterItem *ptz_parameter_item_array_set_by_name(PTZParameterItemArray *self, const gchar *name,
                                                       const gchar *value, const gchar *text2, gint32 word2,
                                                       const gchar *range, gint32 word3) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, NULL);
  PTZ_RETURN_VAL_IF_FAIL(value != NULL, NULL);
  PTZ_RETURN_VAL_IF_FAIL(strlen(value) < PAR_VAL_MAX_LEN, NULL);
  PTZParameterItem *item;
  {
    MutexLock lock(array_lock());
    item = find_locked(self, name);
    if (item != nullptr) set_fields_locked(item, value, text2, word2, range, FALSE, word3);
  }
  PTZ_RETURN_VAL_IF_FAIL(item != NULL, NULL);
  return item;
}

PTZParameterItem *ptz_parameter_item_array_set_range(PTZParameterItemArray *self, guint32 index, const gchar *range) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, NULL);
  PTZParameterItem *item;
  {
    MutexLock lock(array_lock());
    if (index > self->count) return nullptr;
    item = nth_locked(self, index);
    if (item != nullptr) replace_string(&item->range, range);
  }
  PTZ_RETURN_VAL_IF_FAIL(item != NULL, NULL);
  return item;
}

PTZParameterItem *ptz_parameter_item_array_set_range_by_name(PTZParameterItemArray *self, const gchar *name,
                                                             const gchar *range) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, NULL);
  PTZParameterItem *item;
  {
    MutexLock lock(array_lock());
    item = find_locked(self, name);
    if (item != nullptr) replace_string(&item->range, range);
  }
  PTZ_RETURN_VAL_IF_FAIL(item != NULL, NULL);
  return item;
}

// Unlike the set operations, this one keeps the first PAR_VAL_MAX_LEN - 1
// characters of a longer value.
PTZParameterItem *ptz_parameter_item_array_set_value_by_name(PTZParameterItemArray *self, const gchar *name,
                                                             const gchar *value) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, NULL);
  PTZParameterItem *item;
  {
    MutexLock lock(array_lock());
    item = find_locked(self, name);
    if (item != nullptr) copy_value(item->value, value);
  }
  PTZ_RETURN_VAL_IF_FAIL(item != NULL, NULL);
  return item;
}

PTZParameterItemArray *ptz_parameter_item_array_remove(PTZParameterItemArray *self, guint32 index) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, self);
  PTZParameterItem *item = nullptr;
  {
    MutexLock lock(array_lock());
    if (index >= self->count) return self;
    GSList *link = g_slist_nth(self->items, index);
    item = static_cast<PTZParameterItem *>(link->data);
    unlink_locked(self, link);
  }
  item_free(item);
  return self;
}

PTZParameterItemArray *ptz_parameter_item_array_remove_by_name(PTZParameterItemArray *self, const gchar *name) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, self);
  PTZParameterItem *item = nullptr;
  {
    MutexLock lock(array_lock());
    GSList *link = find_link_locked(self, name);
    if (link == nullptr) return self;
    item = static_cast<PTZParameterItem *>(link->data);
    unlink_locked(self, link);
  }
  item_free(item);
  return self;
}

// The copy is taken under one hold of the lock, so it is a consistent
// snapshot even while other threads change the source.
PTZParameterItemArray *ptz_parameter_item_array_copy(PTZParameterItemArray *self) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, NULL);
  PTZParameterItemArray *copy = ptz_parameter_item_array_new(self->name);
  MutexLock lock(array_lock());
  for (GSList *l = self->items; l != nullptr; l = l->next)
    append_locked(copy, static_cast<PTZParameterItem *>(l->data));
  return copy;
}

guint32 ptz_parameter_item_array_items(PTZParameterItemArray *self) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, 0);
  MutexLock lock(array_lock());
  return self->count;
}

const gchar *ptz_parameter_item_array_name(PTZParameterItemArray *self) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, NULL);
  return self->name;
}

gboolean ptz_parameter_item_array_map(PTZParameterItemArray *self, PTZParameterItemArrayFunc func, gpointer user_data) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, FALSE);
  // The successor is taken first so the function may remove its own item.
  for (GSList *l = self->items, *next; l != nullptr; l = next) {
    next = l->next;
    if (!func(static_cast<PTZParameterItem *>(l->data), user_data)) return FALSE;
  }
  return TRUE;
}

gboolean ptz_parameter_item_array_map_remove(PTZParameterItemArray *self, PTZParameterItemArrayFunc func,
                                             gpointer user_data) {
  PTZ_RETURN_VAL_IF_FAIL(self != NULL, FALSE);
  for (GSList *l = self->items, *next; l != nullptr; l = next) {
    next = l->next;
    auto *item = static_cast<PTZParameterItem *>(l->data);
    if (!func(item, user_data)) continue;
    {
      MutexLock lock(array_lock());
      unlink_locked(self, l);
    }
    item_free(item);
  }
  return TRUE;
}

}  // extern "C"
