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

/* Walk function of the map operations: called with each stored item. */
typedef gboolean (*PTZParameterItemArrayFunc) (PTZParameterItem *item, gpointer user_data);

PTZ_API GType ptz_parameter_item_array_get_type (void);

PTZ_API PTZParameterItemArray *ptz_parameter_item_array_new (const gchar *name);
PTZ_API void ptz_parameter_item_array_free (PTZParameterItemArray *self);
PTZ_API void ptz_parameter_item_array_finalize (GObject *object);

PTZ_API PTZParameterItem *ptz_parameter_item_array_append (PTZParameterItemArray *self,
                                                           const PTZParameterItem *item);
PTZ_API PTZParameterItem *ptz_parameter_item_array_add (PTZParameterItemArray *self,
                                                        const PTZParameterItem *item);

PTZ_API PTZParameterItem *ptz_parameter_item_array_get (PTZParameterItemArray *self, guint32 index);
PTZ_API PTZParameterItem *ptz_parameter_item_array_get_by_name (PTZParameterItemArray *self,
                                                                const gchar *name);

PTZ_API PTZParameterItem *ptz_parameter_item_array_set (PTZParameterItemArray *self,
                                                        guint32 index,
                                                        const gchar *value,
                                                        const gchar *text2,
                                                        gint32 word2,
                                                        const gchar *range,
                                                        gint32 word3);
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_by_name (PTZParameterItemArray *self,
                                                                const gchar *name,
                                                                const gchar *value,
                                                                const gchar *text2,
                                                                gint32 word2,
                                                                const gchar *range,
                                                                gint32 word3);
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_range (PTZParameterItemArray *self,
                                                              guint32 index,
                                                              const gchar *range);
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_range_by_name (PTZParameterItemArray *self,
                                                                      const gchar *name,
                                                                      const gchar *range);
PTZ_API PTZParameterItem *ptz_parameter_item_array_set_value_by_name (PTZParameterItemArray *self,
                                                                      const gchar *name,
                                                                      const gchar *value);

PTZ_API PTZParameterItemArray *ptz_parameter_item_array_remove (PTZParameterItemArray *self,
                                                                guint32 index);
PTZ_API PTZParameterItemArray *ptz_parameter_item_array_remove_by_name (PTZParameterItemArray *self,
                                                                        const gchar *name);

PTZ_API PTZParameterItemArray *ptz_parameter_item_array_copy (PTZParameterItemArray *self);
PTZ_API guint32 ptz_parameter_item_array_items (PTZParameterItemArray *self);
PTZ_API const gchar *ptz_parameter_item_array_name (PTZParameterItemArray *self);

PTZ_API gboolean ptz_parameter_item_array_map (PTZParameterItemArray *self,
                                               PTZParameterItemArrayFunc func,
                                               gpointer user_data);
PTZ_API gboolean ptz_parameter_item_array_map_remove (PTZParameterItemArray *self,
                                                      PTZParameterItemArrayFunc func,
                                                      gpointer user_data);

/* g_autoptr() support: the cleanup drops one reference. */
G_DEFINE_AUTOPTR_CLEANUP_FUNC (PTZParameterItemArray, g_object_unref)

G_END_DECLS

#endif /* PTZ_PARAMETER_ITEM_ARRAY_H */
