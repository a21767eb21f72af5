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

G_END_DECLS

#endif /* PTZ_SERIALIZE_H */
