/* Payload encoding: typed values appended one after another to a byte array
 * (a GArray of 1-byte elements) and read back in the same order with a moving
 * index. Integers are in host byte order; strings carry a 16-bit length and no
 * terminating NUL; lists and tables a 32-bit count. There are no tags: writer
 * and reader agree on the order and kind of the values.
 *
 * Reads never pass the end of the array: a read that would is refused, logs
 * one error line, returns 0 (or NULL) and leaves the index where it was. */
#ifndef PTZ_SERIALIZE_H
#define PTZ_SERIALIZE_H

#include <glib.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * PTZSerializeFunc:
 * @element: for a list, the item's data pointer; for a hash table, a record
 *   of two pointers, key first and value second, valid during the call
 * @array: (element-type guint8): the byte array to append to
 *
 * Appends the encoding of one element of a list or hash table.
 */
typedef void (*PTZSerializeFunc) (gpointer element, GArray *array);

/**
 * PTZDeserializeFunc:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where the element starts; moved past it
 *
 * Decodes one element at *@indx. An element reader that cannot decode
 * should leave *@indx unchanged (and may return %NULL): the list and table
 * readers then stop.
 *
 * Returns: (nullable): for a list, the item's data pointer; for a hash
 *   table, a g_malloc()'ed record of two pointers (key, value), freed by
 *   the library after insertion
 */
typedef gpointer (*PTZDeserializeFunc) (GArray *array, guint *indx);

/**
 * ptz_serialize_create_array:
 *
 * Any thread may call it.
 *
 * Returns: (transfer full) (element-type guint8): a new, empty byte array
 *   (free it with g_array_free())
 */
PTZ_API GArray *ptz_serialize_create_array (void);

/**
 * ptz_serialize_8bit:
 * @array: (element-type guint8): the byte array to append to
 * @value: the value
 *
 * Appends @value as 1 byte.
 *
 * Returns: (transfer none) (element-type guint8): @array
 */
PTZ_API GArray *ptz_serialize_8bit (GArray *array, guint8 value);

/**
 * ptz_serialize_16bit:
 * @array: (element-type guint8): the byte array to append to
 * @value: the value
 *
 * Appends @value as 2 bytes in host byte order.
 *
 * Returns: (transfer none) (element-type guint8): @array
 */
PTZ_API GArray *ptz_serialize_16bit (GArray *array, guint16 value);

/**
 * ptz_serialize_32bit:
 * @array: (element-type guint8): the byte array to append to
 * @value: the value (a signed value is written in two's complement)
 *
 * Appends @value as 4 bytes in host byte order.
 *
 * Returns: (transfer none) (element-type guint8): @array
 */
PTZ_API GArray *ptz_serialize_32bit (GArray *array, guint32 value);

/**
 * ptz_serialize_string:
 * @array: (element-type guint8): the byte array to append to
 * @string: the text
 *
 * Appends @string as a 16-bit length followed by its bytes, without the
 * terminating NUL. A string of more than 65535 bytes does not fit the
 * length field: its first 65535 bytes are written (and an error line is
 * logged), so the length field always equals the bytes that follow and the
 * stream stays decodable.
 *
 * Returns: (transfer none) (element-type guint8): @array
 */
PTZ_API GArray *ptz_serialize_string (GArray *array, const gchar *string);

/**
 * ptz_serialize_blob:
 * @array: (element-type guint8): the byte array to append to
 * @data: (array length=size) (element-type guint8) (nullable): the bytes
 * @size: the number of bytes
 *
 * Appends @size bytes as they are, without a length: the reader must know
 * it.
 *
 * Returns: (transfer none) (element-type guint8): @array
 */
PTZ_API GArray *ptz_serialize_blob (GArray *array, gconstpointer data, guint size);

/**
 * ptz_serialize_glist: (skip)
 * @array: (element-type guint8): the byte array to append to
 * @list: (element-type gpointer): the list, not empty
 * @serializer: (scope call): appends one item
 *
 * Appends the number of items as 32 bits, then each item with
 * @serializer. Language bindings encode lists with ptz_serialize_variant().
 */
PTZ_API void ptz_serialize_glist (GArray *array, GList *list, PTZSerializeFunc serializer);

/**
 * ptz_serialize_ghashtable: (skip)
 * @array: (element-type guint8): the byte array to append to
 * @table: (element-type gpointer gpointer): the table
 * @serializer: (scope call): appends one (key, value) record
 *
 * Appends the number of entries as 32 bits, then each entry with
 * @serializer. Language bindings encode tables with
 * ptz_serialize_variant().
 */
PTZ_API void ptz_serialize_ghashtable (GArray *array, GHashTable *table, PTZSerializeFunc serializer);

/**
 * ptz_deserialize_8bit:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the value
 *
 * Returns: the value, or 0 when too few bytes remain (logged; *@indx
 *   unchanged)
 */
PTZ_API guint8 ptz_deserialize_8bit (GArray *array, guint *indx);

/**
 * ptz_deserialize_16bit:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the value
 *
 * Returns: the value, or 0 when too few bytes remain (logged; *@indx
 *   unchanged)
 */
PTZ_API guint16 ptz_deserialize_16bit (GArray *array, guint *indx);

/**
 * ptz_deserialize_32bit:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the value
 *
 * Returns: the value, or 0 when too few bytes remain (logged; *@indx
 *   unchanged)
 */
PTZ_API guint32 ptz_deserialize_32bit (GArray *array, guint *indx);

/**
 * ptz_deserialize_string:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the string
 *
 * Reads a string written by ptz_serialize_string(); the text stops at the
 * first NUL inside the field.
 *
 * Returns: (transfer full) (nullable): a new string, or %NULL when the
 *   field does not fit in the rest of the array (logged; *@indx unchanged)
 */
PTZ_API gchar *ptz_deserialize_string (GArray *array, guint *indx);

/**
 * ptz_deserialize_blob: (skip)
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the bytes
 * @size: the number of bytes
 *
 * Returns: (transfer full) (nullable): a new copy of @size bytes (g_free()),
 *   or %NULL when @size is 0 or too few bytes remain (*@indx unchanged)
 */
PTZ_API gpointer ptz_deserialize_blob (GArray *array, guint *indx, guint size);

/**
 * ptz_deserialize_glist: (skip)
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the list
 * @deserializer: (scope call): reads one item
 *
 * Reads a 32-bit count and up to that many items. Stops early, with what
 * it has read, when the array is exhausted or an item cannot be decoded
 * (a forged count never causes billions of calls). Language bindings
 * decode lists with ptz_deserialize_variant().
 *
 * Returns: (transfer container) (element-type gpointer) (nullable): the
 *   items read
 */
PTZ_API GList *ptz_deserialize_glist (GArray *array, guint *indx, PTZDeserializeFunc deserializer);

/**
 * ptz_deserialize_ghashtable: (skip)
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the table
 * @table: (element-type gpointer gpointer): the table to insert into
 * @deserializer: (scope call): reads one (key, value) record
 *
 * Reads a 32-bit count and up to that many entries into @table, stopping
 * early like ptz_deserialize_glist().
 *
 * Returns: (transfer none) (element-type gpointer gpointer): @table
 */
PTZ_API GHashTable *ptz_deserialize_ghashtable (GArray *array, guint *indx, GHashTable *table,
                                                PTZDeserializeFunc deserializer);

/**
 * ptz_serialize_variant:
 * @value: the values to encode; a floating reference is consumed
 *
 * Encodes @value in this encoding, piece by piece, as the functions above
 * would: `y` as 8 bits, `n` and `q` as 16 bits, `i` and `u` as 32 bits, `s`
 * as a string, the members of a tuple or dictionary entry one after
 * another, an array as a 32-bit count followed by its elements (the form
 * of lists and tables). `g_variant_new ("(us)", PTZ_COMMAND_GOTO_PRESET,
 * "entrance")`, for instance, gives the bytes of ptz_serialize_32bit() with
 * the command followed by ptz_serialize_string() with the name. Other types
 * have no encoding. Any thread may call it.
 *
 * Returns: (transfer full) (nullable): the encoded bytes, or %NULL (with
 *   a line logged) for a type without encoding, a string longer than 65535
 *   bytes or an array of more than 2^32 - 1 elements
 */
PTZ_API GBytes *ptz_serialize_variant (GVariant *value);

/**
 * ptz_deserialize_variant:
 * @payload: the encoded bytes, typically a reply payload
 * @indx: (inout): where to start reading; on success, moved just behind
 *   the value read
 * @type: the definite type to read, made of the types that
 *   ptz_serialize_variant() encodes
 *
 * Reads one value of @type at *@indx, the inverse of
 * ptz_serialize_variant(). A string that is not valid UTF-8 is taken as
 * ISO-8859-1 and converted. The payload is not trusted: nothing is read
 * past its end, and an array count larger than what remains fails. Any
 * thread may call it.
 *
 * Returns: (transfer full) (nullable): the value read, or %NULL when the
 *   payload does not hold a value of @type at *@indx (a line is logged
 *   and *@indx is unchanged)
 */
PTZ_API GVariant *ptz_deserialize_variant (GBytes *payload, guint *indx, const GVariantType *type);

G_END_DECLS

#endif /* PTZ_SERIALIZE_H */
