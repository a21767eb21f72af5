// The payload encoding. Payloads come from other processes, so every reader
// checks the remaining length before it touches a byte.
#include "ptz_serialize.h"

#include <cstring>

#include "common/ptz_log.h"

namespace {

constexpr guint kMaxStringLength = G_MAXUINT16;

// The names the writers and readers log under.
constexpr char kSerializeString[] = "ptz_serialize_string";
constexpr char kDeserialize8bit[] = "ptz_deserialize_8bit";
constexpr char kDeserialize16bit[] = "ptz_deserialize_16bit";
constexpr char kDeserialize32bit[] = "ptz_deserialize_32bit";
constexpr char kDeserializeString[] = "ptz_deserialize_string";
constexpr char kDeserializeBlob[] = "ptz_deserialize_blob";
constexpr char kDeserializeGlist[] = "ptz_deserialize_glist";
constexpr char kDeserializeGhashtable[] = "ptz_deserialize_ghashtable";

// True when `needed` bytes remain at `index`; logs the refusal otherwise.
bool available(const char *function, const GArray *array, guint index, guint64 needed) {
  if (static_cast<guint64>(index) + needed <= array->len) return true;
  PTZ_LOG_ERR("%s: read of %" G_GUINT64_FORMAT " bytes at index %u passes the end of the payload (%u bytes).", function,
              needed, index, array->len);
  return false;
}

template <typename T>
T read_scalar(const char *function, GArray *array, guint *indx) {
  g_assert(array != NULL);
  g_assert(indx != NULL);
  if (!available(function, array, *indx, sizeof(T))) return 0;
  T value;
  std::memcpy(&value, array->data + *indx, sizeof(T));  // need not be aligned
  *indx += sizeof(T);
  return value;
}

template <typename T>
GArray *append_scalar(GArray *array, T value) {
  g_assert(array != NULL);
  return g_array_append_vals(array, &value, sizeof(T));
}

struct KeyValue {
  gpointer key;
  gpointer value;
};

}  // namespace

GArray *ptz_serialize_create_array(void) { return g_array_new(FALSE, FALSE, 1); }

GArray *ptz_serialize_8bit(GArray *array, guint8 value) { return append_scalar(array, value); }
GArray *ptz_serialize_16bit(GArray *array, guint16 value) { return append_scalar(array, value); }
GArray *ptz_serialize_32bit(GArray *array, guint32 value) { return append_scalar(array, value); }

GArray *ptz_serialize_string(GArray *array, const gchar *string) {
  g_assert(array != NULL);
  g_assert(string != NULL);
  size_t length = std::strlen(string);
  if (length > kMaxStringLength) {
    PTZ_LOG_ERR("%s: string of %zu bytes truncated to %u bytes.", kSerializeString, length, kMaxStringLength);
    length = kMaxStringLength;
  }
  ptz_serialize_16bit(array, static_cast<guint16>(length));
  return g_array_append_vals(array, string, static_cast<guint>(length));
}

GArray *ptz_serialize_blob(GArray *array, gconstpointer data, guint size) {
  if (size == 0) return array;
  return g_array_append_vals(array, data, size);
}

void ptz_serialize_glist(GArray *array, GList *list, PTZSerializeFunc serializer) {
  g_assert(array != NULL);
  g_assert(list != NULL);
  g_assert(serializer != NULL);
  ptz_serialize_32bit(array, g_list_length(list));
  for (GList *item = list; item != nullptr; item = item->next) serializer(item->data, array);
}

void ptz_serialize_ghashtable(GArray *array, GHashTable *table, PTZSerializeFunc serializer) {
  g_assert(array != NULL);
  g_assert(table != NULL);
  g_assert(serializer != NULL);
  ptz_serialize_32bit(array, g_hash_table_size(table));
  GHashTableIter iter;
  KeyValue entry;
  g_hash_table_iter_init(&iter, table);
  while (g_hash_table_iter_next(&iter, &entry.key, &entry.value)) serializer(&entry, array);
}

guint8 ptz_deserialize_8bit(GArray *array, guint *indx) { return read_scalar<guint8>(kDeserialize8bit, array, indx); }

guint16 ptz_deserialize_16bit(GArray *array, guint *indx) {
  return read_scalar<guint16>(kDeserialize16bit, array, indx);
}

guint32 ptz_deserialize_32bit(GArray *array, guint *indx) {
  return read_scalar<guint32>(kDeserialize32bit, array, indx);
}

gchar *ptz_deserialize_string(GArray *array, guint *indx) {
  g_assert(array != NULL);
  g_assert(indx != NULL);
  const guint start = *indx;
  if (!available(kDeserializeString, array, start, sizeof(guint16))) return nullptr;
  guint16 length;
  std::memcpy(&length, array->data + start, sizeof length);
  const guint field = start + sizeof(guint16);
  if (!available(kDeserializeString, array, field, length)) return nullptr;
  auto *string = static_cast<gchar *>(g_malloc0(static_cast<gsize>(length) + 1));
  // The text ends at the first NUL inside the field; the rest stays zero.
  const char *bytes = array->data + field;
  std::memcpy(string, bytes, strnlen(bytes, length));
  *indx = field + length;
  return string;
}

gpointer ptz_deserialize_blob(GArray *array, guint *indx, guint size) {
  g_assert(array != NULL);
  g_assert(indx != NULL);
  if (!available(kDeserializeBlob, array, *indx, size)) return nullptr;
  gpointer copy = g_memdup2(array->data + *indx, size);
  *indx += size;
  return copy;
}

GList *ptz_deserialize_glist(GArray *array, guint *indx, PTZDeserializeFunc deserializer) {
  g_assert(array != NULL);
  g_assert(indx != NULL);
  g_assert(deserializer != NULL);
  const guint32 count = ptz_deserialize_32bit(array, indx);
  GList *list = nullptr;
  guint32 read = 0;
  // Appending at the head and reversing once keeps long lists linear.
  for (; read < count && *indx < array->len; read++) {
    const guint before = *indx;
    gpointer element = deserializer(array, indx);
    if (*indx == before) {
      // The element reader refused; keep whatever it handed back.
      if (element != nullptr) {
        list = g_list_prepend(list, element);
        read++;
      }
      break;
    }
    list = g_list_prepend(list, element);
  }
  if (read < count) PTZ_LOG_ERR("%s: payload ends after %u of %u elements.", kDeserializeGlist, read, count);
  return g_list_reverse(list);
}

GHashTable *ptz_deserialize_ghashtable(GArray *array, guint *indx, GHashTable *table, PTZDeserializeFunc deserializer) {
  g_assert(array != NULL);
  g_assert(indx != NULL);
  g_assert(deserializer != NULL);
  g_assert(table != NULL);
  const guint32 count = ptz_deserialize_32bit(array, indx);
  guint32 read = 0;
  for (; read < count && *indx < array->len; read++) {
    const guint before = *indx;
    auto *entry = static_cast<KeyValue *>(deserializer(array, indx));
    if (entry == nullptr) break;
    g_hash_table_insert(table, entry->key, entry->value);
    g_free(entry);
    if (*indx == before) {  // no progress: the element reader refused
      read++;
      break;
    }
  }
  if (read < count) PTZ_LOG_ERR("%s: payload ends after %u of %u entries.", kDeserializeGhashtable, read, count);
  return table;
}
