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

/**
 * PTZDriverParameterItem:
 * @field1: a 32-bit value
 * @field2: a string
 * @field3: a string
 * @field4: a string
 * @field5: a 32-bit value
 * @field6: a 32-bit value
 * @field7: a string
 *
 * One driver parameter as the framework's processes exchange it, typically
 * in the reply to %PTZ_COMMAND_GET_DRIVER_PARAMETERS. Its encoded form is
 * the seven fields in this order, without tags or padding: an item with
 * empty strings and zero numbers takes 20 bytes. What the fields mean is
 * agreed between the drivers and the daemons; the library fixes only their
 * types and order.
 */
typedef struct _PTZDriverParameterItem
{
  guint32 field1;
  gchar *field2;
  gchar *field3;
  gchar *field4;
  guint32 field5;
  guint32 field6;
  gchar *field7;
} PTZDriverParameterItem;

/**
 * ptz_driver_parameter_item_serialize:
 * @item: the item; its four strings must not be %NULL (a fatal assertion)
 * @array: (element-type guint8): the byte array to append to
 *
 * Appends the item's seven fields to @array, with ptz_serialize_32bit() and
 * ptz_serialize_string(). Any thread may call it.
 *
 * Returns: (transfer none) (element-type guint8): @array
 */
PTZ_API GArray *ptz_driver_parameter_item_serialize (const PTZDriverParameterItem *item, GArray *array);

/**
 * ptz_driver_parameter_item_deserialize:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where the item starts; moved just behind it
 * @field1: (out) (optional): the first field
 * @field2: (out) (optional) (transfer full): the second field
 * @field3: (out) (optional) (transfer full): the third field
 * @field4: (out) (optional) (transfer full): the fourth field
 * @field5: (out) (optional): the fifth field
 * @field6: (out) (optional): the sixth field
 * @field7: (out) (optional) (transfer full): the seventh field
 *
 * Reads one item into the seven out addresses (new strings, freed by the
 * caller with g_free(); a %NULL address discards its field). An item that
 * does not fit in the rest of the array is not read at all: every out
 * address receives 0 or %NULL and *@indx stays. Any thread may call it.
 */
PTZ_API void ptz_driver_parameter_item_deserialize (GArray *array, guint *indx, guint32 *field1, gchar **field2,
                                                    gchar **field3, gchar **field4, guint32 *field5, guint32 *field6,
                                                    gchar **field7);

G_END_DECLS

#endif /* PTZ_DRIVER_PARAMETER_ITEM_H */
