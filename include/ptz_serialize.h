/* Payload encoding: typed values appended one after another to a byte array
 * (a GArray of 1-byte elements) and read back in the same order with a moving
 * index. Integers are in host byte order; strings carry a 16-bit length and no
 * terminating NUL; lists and tables a 32-bit count. There are no tags: writer
 * and reader agree on the order and kind of the values.
 *
 * Reads never pass the end of the array: a read that would is refused, logs
 * one error line, returns 0 (or NULL) and leaves the index where it was.
 * The functions keep no state: any thread may call them, on arrays that no
 * other thread changes meanwhile. */
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
 * Appends the encoding of one element of a list or hash table, typically
 * with the writers below. Called by ptz_serialize_glist() and
 * ptz_serialize_ghashtable() on the caller's thread.
 */
typedef void (*PTZSerializeFunc) (gpointer element, GArray *array);

/**
 * PTZDeserializeFunc:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where the element starts; moved past it
 *
 * Decodes one element at *@indx, typically with the readers below. An
 * element reader that cannot decode should leave *@indx unchanged (and may
 * return %NULL): the list and table readers then stop. Called by
 * ptz_deserialize_glist() and ptz_deserialize_ghashtable() on the caller's
 * thread.
 *
 * Returns: (nullable): for a list, the item's data pointer; for a hash
 *   table, a g_malloc()'ed record of two pointers (key, value), freed by
 *   the library after insertion
 */
typedef gpointer (*PTZDeserializeFunc) (GArray *array, guint *indx);

/**
 * ptz_serialize_create_array:
 *
 * Creates the byte array a payload is written into: a #GArray of 1-byte
 * elements, not zero-terminated. Send its `data` and `len` as the payload
 * (ptz_socket_client_command_sync_send(), ptz_socket_server_send()), and
 * read a received payload by wrapping its bytes in such an array.
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
 * Appends @value as 1 byte. @array must not be %NULL (a fatal assertion).
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 *
 * Returns: (transfer none) (element-type guint8): @array
 */
PTZ_API GArray *ptz_serialize_8bit (GArray *array, guint8 value);

/**
 * ptz_serialize_16bit:
 * @array: (element-type guint8): the byte array to append to
 * @value: the value
 *
 * Appends @value as 2 bytes in host byte order (0x1234 as the bytes 34 12
 * on the little-endian devices the framework runs on). @array must not be
 * %NULL (a fatal assertion).
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 *
 * Returns: (transfer none) (element-type guint8): @array
 */
PTZ_API GArray *ptz_serialize_16bit (GArray *array, guint16 value);

/**
 * ptz_serialize_32bit:
 * @array: (element-type guint8): the byte array to append to
 * @value: the value (a signed value is written in two's complement)
 *
 * Appends @value as 4 bytes in host byte order. @array must not be %NULL
 * (a fatal assertion).
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 *
 * Returns: (transfer none) (element-type guint8): @array
 */
PTZ_API GArray *ptz_serialize_32bit (GArray *array, guint32 value);

/**
 * ptz_serialize_string:
 * @array: (element-type guint8): the byte array to append to
 * @string: the text, not %NULL
 *
 * Appends @string as a 16-bit length followed by its bytes, without the
 * terminating NUL: "abc" becomes 03 00 61 62 63, the empty string 00 00.
 * A string of more than 65535 bytes does not fit the length field: its
 * first 65535 bytes are written and the line "ptz_serialize_string: string
 * of N bytes truncated to 65535 bytes." is logged, so the length field
 * always equals the bytes that follow and the stream stays decodable.
 * @array and @string must not be %NULL (fatal assertions).
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
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
 * it (ptz_deserialize_blob()). A @size of 0 appends nothing, and @data may
 * then be %NULL.
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
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
 * @serializer, in list order. An empty list is %NULL in GLib and cannot be
 * written this way: @array, @list and @serializer must not be %NULL (fatal
 * assertions); write a count of 0 with ptz_serialize_32bit() instead.
 * Language bindings encode lists with ptz_serialize_variant().
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 */
PTZ_API void ptz_serialize_glist (GArray *array, GList *list, PTZSerializeFunc serializer);

/**
 * ptz_serialize_ghashtable: (skip)
 * @array: (element-type guint8): the byte array to append to
 * @table: (element-type gpointer gpointer): the table
 * @serializer: (scope call): appends one (key, value) record
 *
 * Appends the number of entries as 32 bits, then each entry with
 * @serializer, in the table's iteration order; @serializer gets a record of
 * two pointers, the entry's key then its value, valid during the call.
 * @array, @table and @serializer must not be %NULL (fatal assertions).
 * Language bindings encode tables with ptz_serialize_variant().
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 */
PTZ_API void ptz_serialize_ghashtable (GArray *array, GHashTable *table, PTZSerializeFunc serializer);

/**
 * ptz_deserialize_8bit:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the value
 *
 * Reads a value of 1 byte in host byte order at *@indx; it need not be
 * aligned. When fewer bytes remain, nothing is read, *@indx stays where it
 * was and the line "ptz_deserialize_8bit: read of N bytes at index I passes
 * the end of the payload (L bytes)." is logged: compare *@indx before and
 * after to tell a refused read from a value of 0. @array and @indx must not
 * be %NULL (fatal assertions).
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 *
 * Returns: the value, or 0 when too few bytes remain
 */
PTZ_API guint8 ptz_deserialize_8bit (GArray *array, guint *indx);

/**
 * ptz_deserialize_16bit:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the value
 *
 * Reads a value of 2 bytes in host byte order at *@indx; it need not be
 * aligned. When fewer bytes remain, nothing is read, *@indx stays where it
 * was and the line "ptz_deserialize_16bit: read of N bytes at index I passes
 * the end of the payload (L bytes)." is logged: compare *@indx before and
 * after to tell a refused read from a value of 0. @array and @indx must not
 * be %NULL (fatal assertions).
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 *
 * Returns: the value, or 0 when too few bytes remain
 */
PTZ_API guint16 ptz_deserialize_16bit (GArray *array, guint *indx);

/**
 * ptz_deserialize_32bit:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the value
 *
 * Reads a value of 4 bytes in host byte order at *@indx; it need not be
 * aligned. When fewer bytes remain, nothing is read, *@indx stays where it
 * was and the line "ptz_deserialize_32bit: read of N bytes at index I passes
 * the end of the payload (L bytes)." is logged: compare *@indx before and
 * after to tell a refused read from a value of 0. @array and @indx must not
 * be %NULL (fatal assertions).
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 *
 * Returns: the value, or 0 when too few bytes remain
 */
PTZ_API guint32 ptz_deserialize_32bit (GArray *array, guint *indx);

/**
 * ptz_deserialize_string:
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the string
 *
 * Reads a string written by ptz_serialize_string(). The text stops at the
 * first NUL inside the field, and *@indx moves past the whole field all the
 * same. The bytes are not checked: a peer may send text that is not UTF-8.
 * When the length or the field does not fit in the rest of the array,
 * nothing is read, *@indx stays and the line "ptz_deserialize_string: read
 * of N bytes at index I passes the end of the payload (L bytes)." is
 * logged. @array and @indx must not be %NULL (fatal assertions).
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 *
 * Returns: (transfer full) (nullable): a new string (free it with
 *   g_free()), or %NULL when the field does not fit in the rest of the
 *   array
 */
PTZ_API gchar *ptz_deserialize_string (GArray *array, guint *indx);

/**
 * ptz_deserialize_blob: (skip)
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the bytes
 * @size: the number of bytes
 *
 * Reads @size bytes written by ptz_serialize_blob(). When fewer bytes
 * remain, nothing is read, *@indx stays and the line
 * "ptz_deserialize_blob: read of N bytes at index I passes the end of the
 * payload (L bytes)." is logged. @array and @indx must not be %NULL (fatal
 * assertions). Language bindings take such bytes from the #GBytes payload
 * themselves.
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 *
 * Returns: (transfer full) (nullable): a new copy of the @size bytes (free
 *   it with g_free()), or %NULL when @size is 0 or too few bytes remain
 */
PTZ_API gpointer ptz_deserialize_blob (GArray *array, guint *indx, guint size);

/**
 * ptz_deserialize_glist: (skip)
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the list
 * @deserializer: (scope call): reads one item
 *
 * Reads a 32-bit count and up to that many items with @deserializer. It
 * stops early, with what it has read, when the array is exhausted or an
 * item reader leaves *@indx where it was (an item it returned anyway is
 * kept), and then logs "ptz_deserialize_glist: payload ends after N of M
 * elements.": a forged count never causes billions of calls. A count of 0
 * gives %NULL without calling @deserializer. @array, @indx and
 * @deserializer must not be %NULL (fatal assertions). Language bindings
 * decode lists with ptz_deserialize_variant().
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
 *
 * Returns: (transfer container) (element-type gpointer) (nullable): the
 *   items read, in order (free the list with g_list_free(); the items are
 *   what @deserializer made)
 */
PTZ_API GList *ptz_deserialize_glist (GArray *array, guint *indx, PTZDeserializeFunc deserializer);

/**
 * ptz_deserialize_ghashtable: (skip)
 * @array: (element-type guint8): the byte array to read from
 * @indx: (inout): where to read; moved past the table
 * @table: (element-type gpointer gpointer): the table to insert into
 * @deserializer: (scope call): reads one (key, value) record
 *
 * Reads a 32-bit count and up to that many entries into @table. Each
 * entry is a record of two pointers (key, value) from @deserializer, put
 * into @table with g_hash_table_insert() (a later entry with an equal key
 * replaces the value; the table's destroy functions apply) and then freed
 * with g_free(). It stops early, logging "ptz_deserialize_ghashtable:
 * payload ends after N of M entries.", when the array is exhausted, the
 * record is %NULL or the entry reader leaves *@indx where it was. @array,
 * @indx, @table and @deserializer must not be %NULL (fatal assertions).
 *
 * Any thread may call it, on an array no other thread changes meanwhile.
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
 * (booleans, 64-bit numbers, doubles, variants, maybe types, empty tuples)
 * have no encoding. Any thread may call it.
 *
 * Returns: (transfer full) (nullable): the encoded bytes (free them with
 *   g_bytes_unref()), or %NULL for a type without encoding (logged:
 *   "ptz_serialize_variant: values of type 'T' have no encoding."), a
 *   string longer than 65535 bytes or an array of more than 2^32 - 1
 *   elements (logged: "ptz_serialize_variant: a string or an array of the
 *   value is too long for its length field.")
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
 * Returns: (transfer full) (nullable): the value read (free it with
 *   g_variant_unref()), or %NULL when the payload does not hold a value of
 *   @type at *@indx: *@indx is unchanged and "ptz_deserialize_variant: the
 *   payload (L bytes) holds no value of type 'T' at index I." is logged
 *   (for a type without encoding: "ptz_deserialize_variant: values of type
 *   'T' have no encoding.")
 */
PTZ_API GVariant *ptz_deserialize_variant (GBytes *payload, guint *indx, const GVariantType *type);

G_END_DECLS

#endif /* PTZ_SERIALIZE_H */
