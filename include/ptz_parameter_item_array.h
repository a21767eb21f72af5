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

/* Size of an item's value buffer: values hold at most PAR_VAL_MAX_LEN - 1
 * characters plus the terminating NUL. */
#define PAR_VAL_MAX_LEN 64

/* One named parameter. The array interprets only name, value and range; the
 * other fields belong to the caller and are carried unchanged. */
typedef struct _PTZParameterItem {
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
#define PTZ_IS_PARAMETER_ITEM_ARRAY(obj) \
  (G_TYPE_CHECK_INSTANCE_TYPE ((obj), PTZ_TYPE_PARAMETER_ITEM_ARRAY))
#define PTZ_IS_PARAMETER_ITEM_ARRAY_CLASS(klass) \
  (G_TYPE_CHECK_CLASS_TYPE ((klass), PTZ_TYPE_PARAMETER_ITEM_ARRAY))
#define PTZ_PARAMETER_ITEM_ARRAY_GET_CLASS(obj) \
  (G_TYPE_INSTANCE_GET_CLASS ((obj), PTZ_TYPE_PARAMETER_ITEM_ARRAY, PTZParameterItemArrayClass))

typedef struct _PTZParameterItemArray {
  GObject parent_instance;
  gchar *name;     /* the group name, the "name" property */
  GSList *items;   /* PTZParameterItem *, insertion order */
  guint32 count;   /* number of stored items */
} PTZParameterItemArray;

typedef struct _PTZParameterItemArrayClass {
  GObjectClass parent_class;
  GMutex lock;     /* one lock for every array of the process */
} PTZParameterItemArrayClass;

/**
 * PTZParameterItemArrayFunc:
 * @item: a stored item
 * @user_data: (closure): the data given to the map operation
 *
 * Walk function of the map operations, called with each stored item.
 *
 * Returns: for ptz_parameter_item_array_map(), %FALSE stops the walk; for
 *   ptz_parameter_item_array_map_remove(), %TRUE removes the item
 */
typedef gboolean (*PTZParameterItemArrayFunc) (PTZParameterItem *item, gpointer user_data);

PTZ_API GType ptz_parameter_item_array_get_type (void);

PTZ_API PTZParameterItemArray *ptz_parameter_item_array_new (const gchar *name);
PTZ_API void ptz_parameter_item_array_free (PTZParameterItemArray *self);
/**
 * ptz_parameter_item_array_finalize: (skip)
 * @object: a #PTZParameterItemArray being finalized
 *
 * The class's finalize, for subclasses written in C to chain to.
 */
PTZ_API void ptz_parameter_item_array_finalize (GObject *object);

/**
 * ptz_parameter_item_array_append:
 * @self: an array
 * @item: the item to copy in
 *
 * Stores a deep copy of @item at the end.
 *
 * Returns: (transfer none) (nullable): the stored copy, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_append (PTZParameterItemArray *self,
                                                           const PTZParameterItem *item);
/**
 * ptz_parameter_item_array_add:
 * @self: an array
 * @item: the item to copy in
 *
 * Updates the first stored item with the name of @item, or appends a
 * copy when there is none.
 *
 * Returns: (transfer none) (nullable): the stored item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_add (PTZParameterItemArray *self,
                                                        const PTZParameterItem *item);

/**
 * ptz_parameter_item_array_get:
 * @self: an array
 * @index: the position, from 0
 *
 * Returns: (transfer none) (nullable): the item at @index, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_get (PTZParameterItemArray *self, guint32 index);
/**
 * ptz_parameter_item_array_get_by_name:
 * @self: an array
 * @name: (nullable): the name
 *
 * Returns: (transfer none) (nullable): the first item named @name, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_get_by_name (PTZParameterItemArray *self,
                                                                const gchar *name);

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
 * Returns: (transfer none) (nullable): the updated item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_set (PTZParameterItemArray *self,
                                                        guint32 index,
                                                        const gchar *value,
                                                        const gchar *text2,
                                                        gint32 word2,
                                                        const gchar *range,
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
 * Returns: (transfer none) (nullable): the updated item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_by_name (PTZParameterItemArray *self,
                                                                const gchar *name,
                                                                const gchar *value,
                                                                const gchar *text2,
                                                                gint32 word2,
                                                                const gchar *range,
                                                                gint32 word3);
/**
 * ptz_parameter_item_array_set_range:
 * @self: an array
 * @index: the position, from 0
 * @range: (nullable): the new range; %NULL clears it
 *
 * Returns: (transfer none) (nullable): the updated item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_range (PTZParameterItemArray *self,
                                                              guint32 index,
                                                              const gchar *range);
/**
 * ptz_parameter_item_array_set_range_by_name:
 * @self: an array
 * @name: (nullable): the name
 * @range: (nullable): the new range; %NULL clears it
 *
 * Returns: (transfer none) (nullable): the updated item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_range_by_name (PTZParameterItemArray *self,
                                                                      const gchar *name,
                                                                      const gchar *range);
/**
 * ptz_parameter_item_array_set_value_by_name:
 * @self: an array
 * @name: (nullable): the name
 * @value: the new value (cut at 63 characters)
 *
 * Returns: (transfer none) (nullable): the updated item, owned by the array
 *   (valid until it is removed or the array cleared or finalized), or
 *   %NULL
 */
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_value_by_name (PTZParameterItemArray *self,
                                                                      const gchar *name,
                                                                      const gchar *value);

/**
 * ptz_parameter_item_array_remove:
 * @self: an array
 * @index: the position, from 0
 *
 * Removes and frees the item at @index, if any.
 *
 * Returns: (transfer none): @self
 */
PTZ_API PTZParameterItemArray *ptz_parameter_item_array_remove (PTZParameterItemArray *self,
                                                                guint32 index);
/**
 * ptz_parameter_item_array_remove_by_name:
 * @self: an array
 * @name: (nullable): the name
 *
 * Removes and frees the first item named @name, if any.
 *
 * Returns: (transfer none): @self
 */
PTZ_API PTZParameterItemArray *ptz_parameter_item_array_remove_by_name (PTZParameterItemArray *self,
                                                                        const gchar *name);

/**
 * ptz_parameter_item_array_copy:
 * @self: an array
 *
 * Returns: (transfer full): a new array of the same name holding copies of
 *   the items
 */
PTZ_API PTZParameterItemArray *ptz_parameter_item_array_copy (PTZParameterItemArray *self);
PTZ_API guint32 ptz_parameter_item_array_items (PTZParameterItemArray *self);
PTZ_API const gchar *ptz_parameter_item_array_name (PTZParameterItemArray *self);

/**
 * ptz_parameter_item_array_map:
 * @self: an array
 * @func: (scope call) (closure user_data): called with each item in order
 * @user_data: data passed to @func
 *
 * The array lock is not held while @func runs.
 *
 * Returns: %TRUE when @func returned %TRUE for every item (a %FALSE stops
 *   the walk)
 */
PTZ_API gboolean ptz_parameter_item_array_map (PTZParameterItemArray *self,
                                               PTZParameterItemArrayFunc func,
                                               gpointer user_data);
/**
 * ptz_parameter_item_array_map_remove:
 * @self: an array
 * @func: (scope call) (closure user_data): called with each item; %TRUE removes it
 * @user_data: data passed to @func
 *
 * Returns: %TRUE
 */
PTZ_API gboolean ptz_parameter_item_array_map_remove (PTZParameterItemArray *self,
                                                      PTZParameterItemArrayFunc func,
                                                      gpointer user_data);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZParameterItemArray, g_object_unref)

G_END_DECLS

#endif /* PTZ_PARAMETER_ITEM_ARRAY_H */
