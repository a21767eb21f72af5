/* Named, ordered groups of parameter items that drivers and daemons declare.
 *
 * A PTZParameterItemArray stores deep copies of the caller's items, finds
 * them by position or by name, updates them in place and walks them. One lock
 * shared by every array of the process guards each call's list access. */
#ifndef PTZ_PARAMETER_ITEM_ARRAY_H
#define PTZ_PARAMETER_ITEM_ARRAY_H

#include <glib.h>
#include <glib-object.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * PAR_VAL_MAX_LEN:
 *
 * The size of an item's value buffer: a value holds at most
 * `PAR_VAL_MAX_LEN - 1` (63) characters and its terminating NUL.
 */
#define PAR_VAL_MAX_LEN 64

/**
 * PTZParameterItem:
 * @word1: the caller's; copied in by append, overwritten by add
 * @name: the item's name, the key of the lookups by name (compared
 *   case-sensitively; %NULL matches %NULL); set when the item enters an
 *   array and never changed there
 * @text1: (nullable): the caller's; copied in by append, replaced by add
 * @value: the parameter's value as text, at most 63 characters and a NUL
 * @text2: (nullable): the caller's; replaced by add and by the set
 *   operations when they are given one
 * @word2: the caller's; overwritten by add and by the set operations
 * @range: (nullable): the parameter's range as text; replaced by add, the
 *   set operations and the range operations
 * @word3: the caller's; overwritten by add and by the set operations
 *
 * One named parameter of a #PTZParameterItemArray. The array interprets
 * only @name, @value and @range; the other fields are carried for the
 * caller unchanged. An item in an array is the array's own copy: every
 * string is duplicated when it enters (%NULL stays %NULL) and @value is
 * cut to 63 characters. The caller's item given to append or add is only
 * read.
 */
typedef struct _PTZParameterItem
{
  gint32 word1;
  gchar *name;
  gchar *text1;
  gchar value[PAR_VAL_MAX_LEN];
  gchar *text2;
  gint32 word2;
  gchar *range;
  gint32 word3;
} PTZParameterItem;

#define PTZ_TYPE_PARAMETER_ITEM_ARRAY (ptz_parameter_item_array_get_type ())
#define PTZ_PARAMETER_ITEM_ARRAY(obj) \
  (G_TYPE_CHECK_INSTANCE_CAST ((obj), PTZ_TYPE_PARAMETER_ITEM_ARRAY, PTZParameterItemArray))
#define PTZ_PARAMETER_ITEM_ARRAY_CLASS(klass) \
  (G_TYPE_CHECK_CLASS_CAST ((klass), PTZ_TYPE_PARAMETER_ITEM_ARRAY, PTZParameterItemArrayClass))
#define PTZ_IS_PARAMETER_ITEM_ARRAY(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_PARAMETER_ITEM_ARRAY))
#define PTZ_IS_PARAMETER_ITEM_ARRAY_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_PARAMETER_ITEM_ARRAY))
#define PTZ_PARAMETER_ITEM_ARRAY_GET_CLASS(obj) \
  (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_PARAMETER_ITEM_ARRAY, PTZParameterItemArrayClass))

/**
 * PTZParameterItemArray:
 * @name: the group name, the #PTZParameterItemArray:name property
 * @items: (element-type PTZParameterItem): the stored items, in insertion
 *   order
 * @count: the number of stored items
 *
 * A named, ordered group of parameter items (#PTZParameterItem) that a
 * driver or daemon declares: one parameter group. It stores deep copies of
 * the caller's items, finds them by position or by name, updates them in
 * place, removes them, copies the whole group and walks it. Pointers to
 * stored items that the functions return belong to the array and stay
 * valid until that item is removed or the array emptied or finalized.
 *
 * Any thread may call the functions. One lock, shared by every array of
 * the process, guards each call's own access to the list; it is not held
 * across calls, so a pointer one call returned may be invalidated by a
 * removal on another thread. The map operations and
 * ptz_parameter_item_array_name() read the list without it: keep other
 * threads away from the array while they run. The fields are for reading
 * under the same rule.
 */
typedef struct _PTZParameterItemArray
{
  GObject parent_instance;
  gchar *name;
  GSList *items;
  guint32 count;
} PTZParameterItemArray;

/**
 * PTZParameterItemArrayClass:
 * @parent_class: the parent class
 * @lock: the one lock of every array of the process (the library's)
 *
 * The class of #PTZParameterItemArray.
 */
typedef struct _PTZParameterItemArrayClass
{
  GObjectClass parent_class;
  GMutex lock;
} PTZParameterItemArrayClass;

/**
 * PTZParameterItemArrayFunc:
 * @item: a stored item
 * @user_data: (closure): the data given to the map operation
 *
 * Walk function of the map operations, called with each stored item on
 * the calling thread, with no lock held. It may remove its own item.
 *
 * Returns: for ptz_parameter_item_array_map(), %FALSE stops the walk; for
 *   ptz_parameter_item_array_map_remove(), %TRUE removes the item
 */
typedef gboolean (*PTZParameterItemArrayFunc) (PTZParameterItem *item, gpointer user_data);

PTZ_API GType ptz_parameter_item_array_get_type (void);

/**
 * ptz_parameter_item_array_new:
 * @name: (nullable): the group name
 *
 * Creates an empty array. Any thread may call it.
 *
 * Returns: (transfer full): the new array (release it with
 *   g_object_unref())
 */
PTZ_API PTZParameterItemArray *ptz_parameter_item_array_new (const gchar *name);
/**
 * ptz_parameter_item_array_free:
 * @self: an array
 *
 * Removes and frees every item; despite its name the array itself stays,
 * empty, and can be filled again (g_object_unref() releases it). %NULL is
 * refused with a critical. Any thread may call it.
 */
PTZ_API void ptz_parameter_item_array_free (PTZParameterItemArray *self);
/**
 * ptz_parameter_item_array_finalize: (skip)
 * @object: a #PTZParameterItemArray being finalized
 *
 * The class's finalize, for subclasses written in C to chain to: it
 * frees every item and the name.
 */
PTZ_API void ptz_parameter_item_array_finalize (GObject *object);

/**
 * ptz_parameter_item_array_append:
 * @self: an array
 * @item: the item to copy in
 *
 * Stores a deep copy of @item at the end, also when an item of the same
 * name is stored already (the lookups by name then find the first). Its
 * value is cut to 63 characters. Any thread may call it.
 *
 * Returns: (transfer none) (nullable): the stored copy, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL when @self or @item is %NULL (a critical)
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_append (PTZParameterItemArray *self, const PTZParameterItem *item);
/**
 * ptz_parameter_item_array_add:
 * @self: an array
 * @item: the item to copy in
 *
 * Updates the first stored item with the name of @item, or appends a
 * copy when there is none, under one hold of the lock: two threads adding
 * the same name never store it twice. An update overwrites every field but
 * the name (its position stays). Any thread may call it.
 *
 * Returns: (transfer none) (nullable): the stored item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL when @self or @item is %NULL (a critical)
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_add (PTZParameterItemArray *self, const PTZParameterItem *item);

/**
 * ptz_parameter_item_array_get:
 * @self: an array
 * @index: the position, from 0
 *
 * Any thread may call it.
 *
 * Returns: (transfer none) (nullable): the item at @index, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL when there is none (silently)
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_get (PTZParameterItemArray *self, guint32 index);
/**
 * ptz_parameter_item_array_get_by_name:
 * @self: an array
 * @name: (nullable): the name
 *
 * Finds the first item, in order, whose name equals @name
 * (case-sensitively; %NULL finds an item without name). Any thread may
 * call it.
 *
 * Returns: (transfer none) (nullable): the first item named @name, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_get_by_name (PTZParameterItemArray *self, const gchar *name);

/**
 * ptz_parameter_item_array_set:
 * @self: an array
 * @index: the position, from 0
 * @value: the new value, shorter than %PAR_VAL_MAX_LEN
 * @text2: (nullable): the new second text; %NULL keeps it
 * @word2: the new second word
 * @range: (nullable): the new range; %NULL clears it
 * @word3: the new third word
 *
 * Updates the item at @index. A %NULL @value, or one of 64 characters or
 * more, is refused with a critical and changes nothing: a value is never
 * stored cut. An @index past the last item fails with the critical
 * "item != NULL", one beyond that silently. Any thread may call it.
 *
 * Returns: (transfer none) (nullable): the updated item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_set (PTZParameterItemArray *self, guint32 index, const gchar *value,
                                                        const gchar *text2, gint32 word2, const gchar *range,
                                                        gint32 word3);
/**
 * ptz_parameter_item_array_set_by_name:
 * @self: an array
 * @name: (nullable): the name
 * @value: the new value, shorter than %PAR_VAL_MAX_LEN
 * @text2: (nullable): the new second text; %NULL keeps it
 * @word2: the new second word
 * @range: (nullable): the new range; %NULL keeps it
 * @word3: the new third word
 *
 * ptz_parameter_item_array_set() on the first item named @name, except that
 * a %NULL @range keeps the range. No such item fails with the critical
 * "item != NULL". Any thread may call it.
 *
 * Returns: (transfer none) (nullable): the updated item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_by_name (PTZParameterItemArray *self, const gchar *name,
                                                                const gchar *value, const gchar *text2, gint32 word2,
                                                                const gchar *range, gint32 word3);
/**
 * ptz_parameter_item_array_set_range:
 * @self: an array
 * @index: the position, from 0
 * @range: (nullable): the new range; %NULL clears it
 *
 * Replaces the range of the item at @index. An @index past the last item
 * fails with the critical "item != NULL", one beyond that silently. Any
 * thread may call it.
 *
 * Returns: (transfer none) (nullable): the updated item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_range (PTZParameterItemArray *self, guint32 index,
                                                              const gchar *range);
/**
 * ptz_parameter_item_array_set_range_by_name:
 * @self: an array
 * @name: (nullable): the name
 * @range: (nullable): the new range; %NULL clears it
 *
 * Replaces the range of the first item named @name; no such item fails
 * with the critical "item != NULL". Any thread may call it.
 *
 * Returns: (transfer none) (nullable): the updated item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_range_by_name (PTZParameterItemArray *self, const gchar *name,
                                                                      const gchar *range);
/**
 * ptz_parameter_item_array_set_value_by_name:
 * @self: an array
 * @name: (nullable): the name
 * @value: (nullable): the new value (cut at 63 characters; %NULL empties
 *   it)
 *
 * Replaces the value of the first item named @name, cut to 63 characters
 * (unlike the set operations, which refuse a longer value). No such item
 * fails with the critical "item != NULL". Any thread may call it.
 *
 * Returns: (transfer none) (nullable): the updated item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_value_by_name (PTZParameterItemArray *self, const gchar *name,
                                                                      const gchar *value);

/**
 * ptz_parameter_item_array_remove:
 * @self: an array
 * @index: the position, from 0
 *
 * Removes and frees the item at @index, if any; the others keep their
 * order. Pointers to it become invalid. Any thread may call it.
 *
 * Returns: (transfer none): @self
 */
PTZ_API PTZParameterItemArray *ptz_parameter_item_array_remove (PTZParameterItemArray *self, guint32 index);
/**
 * ptz_parameter_item_array_remove_by_name:
 * @self: an array
 * @name: (nullable): the name
 *
 * Removes and frees the first item named @name, if any. Any thread may
 * call it.
 *
 * Returns: (transfer none): @self
 */
PTZ_API PTZParameterItemArray *ptz_parameter_item_array_remove_by_name (PTZParameterItemArray *self, const gchar *name);

/**
 * ptz_parameter_item_array_copy:
 * @self: an array
 *
 * Copies the array, under one hold of the lock: the copy is a consistent
 * snapshot even while other threads change @self. Any thread may call it.
 *
 * Returns: (transfer full) (nullable): a new array of the same name holding
 *   copies of the items, in the same order (release it with
 *   g_object_unref()); %NULL for a %NULL @self
 */
PTZ_API PTZParameterItemArray *ptz_parameter_item_array_copy (PTZParameterItemArray *self);
/**
 * ptz_parameter_item_array_items:
 * @self: an array
 *
 * Any thread may call it.
 *
 * Returns: the number of stored items; 0 for %NULL (a critical)
 */
PTZ_API guint32 ptz_parameter_item_array_items (PTZParameterItemArray *self);
/**
 * ptz_parameter_item_array_name:
 * @self: an array
 *
 * Reads the group name without the lock: do not set the #PTZParameterItemArray:name
 * property on another thread meanwhile.
 *
 * Returns: (transfer none) (nullable): the array's own name (not a copy),
 *   or %NULL
 */
PTZ_API const gchar *ptz_parameter_item_array_name (PTZParameterItemArray *self);

/**
 * ptz_parameter_item_array_map:
 * @self: an array
 * @func: (scope call) (closure user_data): called with each item in order
 * @user_data: data passed to @func
 *
 * Calls @func with each item, in order, until it returns %FALSE. The array
 * lock is not held while @func runs: keep other threads away from the
 * array meanwhile. @func may remove its own item.
 *
 * Returns: %TRUE when @func returned %TRUE for every item (a %FALSE stops
 *   the walk)
 */
PTZ_API gboolean ptz_parameter_item_array_map (PTZParameterItemArray *self, PTZParameterItemArrayFunc func,
                                               gpointer user_data);
/**
 * ptz_parameter_item_array_map_remove:
 * @self: an array
 * @func: (scope call) (closure user_data): called with each item; %TRUE removes it
 * @user_data: data passed to @func
 *
 * Calls @func with each item, in order, and removes and frees every item
 * for which it returns %TRUE. The walk holds no lock while @func runs:
 * keep other threads away from the array meanwhile.
 *
 * Returns: %TRUE; %FALSE for a %NULL @self (a critical)
 */
PTZ_API gboolean ptz_parameter_item_array_map_remove (PTZParameterItemArray *self, PTZParameterItemArrayFunc func,
                                                      gpointer user_data);

/**
 * PTZParameterItemArray:name:
 *
 * The group name ("PTZ framework parameter group name"). Readable and
 * writable; setting it stores a copy.
 */

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZParameterItemArray, g_object_unref)

G_END_DECLS

#endif /* PTZ_PARAMETER_ITEM_ARRAY_H */
