/* One driver parameter as exchanged between the framework's processes, and
 * its encoding in a serialized byte array (see ptz_serialize.h): field1 as a
 * 32-bit value, field2 to field4 as strings, field5 and field6 as 32-bit
 * values, field7 as a string, in this order, without tags or padding. The
 * meaning of the fields is agreed between the drivers and the daemons. */
#ifndef PTZ_DRIVER_PARAMETER_ITEM_H
#define PTZ_DRIVER_PARAMETER_ITEM_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

typedef struct _PTZDriverParameterItem {
  guint32 field1;
  gchar *field2;
  gchar *field3;
  gchar *field4;
  guint32 field5;
  guint32 field6;
  gchar *field7;
} PTZDriverParameterItem;

/* Appends the item to `array` and returns the array. The four strings must
 * not be NULL. */
PTZ_API GArray *ptz_driver_parameter_item_serialize (const PTZDriverParameterItem *item,
                                                     GArray *array);

/* Reads one item at *indx into the seven out addresses (new strings, freed by
 * the caller with g_free; a NULL address discards its field) and advances
 * *indx just behind it. An item that does not fit in the rest of the array is
 * not read at all: every out address receives 0 or NULL and *indx stays. */
PTZ_API void ptz_driver_parameter_item_deserialize (GArray *array, guint *indx,
                                                    guint32 *field1, gchar **field2,
                                                    gchar **field3, gchar **field4,
                                                    guint32 *field5, guint32 *field6,
                                                    gchar **field7);

G_END_DECLS

#endif /* PTZ_DRIVER_PARAMETER_ITEM_H */
