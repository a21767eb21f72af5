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

/* Appends the encoding of one element. For a list, `element` is the item's
 * data pointer; for a hash table it points to a record of two pointers, key
 * first and value second, valid for the duration of the call. */
typedef void (*PTZSerializeFunc) (gpointer element, GArray *array);

/* Decodes one element at *indx and advances *indx past it. For a list the
 * result is the item's data pointer; for a hash table a g_malloc'ed record of
 * two pointers (key, value), freed by the library after insertion. An element
 * reader that cannot decode should leave *indx unchanged (and may return NULL):
 * the list and table readers then stop. */
typedef gpointer (*PTZDeserializeFunc) (GArray *array, guint *indx);

PTZ_API GArray *ptz_serialize_create_array (void);

PTZ_API GArray *ptz_serialize_8bit (GArray *array, guint8 value);
PTZ_API GArray *ptz_serialize_16bit (GArray *array, guint16 value);
PTZ_API GArray *ptz_serialize_32bit (GArray *array, guint32 value);
/* A string of more than 65535 bytes does not fit the 16-bit length field: its
 * first 65535 bytes are written (and an error line is logged), so the length
 * field always equals the bytes that follow and the stream stays decodable. */
PTZ_API GArray *ptz_serialize_string (GArray *array, const gchar *string);
PTZ_API GArray *ptz_serialize_blob (GArray *array, gconstpointer data, guint size);
PTZ_API void ptz_serialize_glist (GArray *array, GList *list, PTZSerializeFunc serializer);
PTZ_API void ptz_serialize_ghashtable (GArray *array, GHashTable *table, PTZSerializeFunc serializer);

PTZ_API guint8 ptz_deserialize_8bit (GArray *array, guint *indx);
PTZ_API guint16 ptz_deserialize_16bit (GArray *array, guint *indx);
PTZ_API guint32 ptz_deserialize_32bit (GArray *array, guint *indx);
/* A new string (g_free); the text stops at the first NUL inside the field. */
PTZ_API gchar *ptz_deserialize_string (GArray *array, guint *indx);
/* A new copy of `size` bytes (g_free); NULL when size is 0 or too few remain. */
PTZ_API gpointer ptz_deserialize_blob (GArray *array, guint *indx, guint size);
/* Stops early, with what it has read, when the array is exhausted or an
 * element cannot be decoded (a forged count never causes billions of calls). */
PTZ_API GList *ptz_deserialize_glist (GArray *array, guint *indx, PTZDeserializeFunc deserializer);
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
