// Payload decoding on arbitrary bytes: the first byte says how many of the
// following bytes are a program of reads, the rest is the payload.
#include <cstddef>
#include <cstdint>

#include "ptz_serialize.h"

namespace {

gpointer read_string(GArray *array, guint *indx) { return ptz_deserialize_string(array, indx); }

gpointer read_pair(GArray *array, guint *indx) {
  gchar *key = ptz_deserialize_string(array, indx);
  if (key == nullptr) return nullptr;
  auto **kv = g_new(gpointer, 2);
  kv[0] = key;
  kv[1] = GUINT_TO_POINTER(ptz_deserialize_32bit(array, indx));
  return kv;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  size_t ops = data[0];
  if (ops > size - 1) ops = size - 1;
  const uint8_t *program = data + 1;
  GArray *payload = ptz_serialize_create_array();
  g_array_append_vals(payload, data + 1 + ops, static_cast<guint>(size - 1 - ops));
  guint indx = 0;
  for (size_t i = 0; i < ops; i++) {
    switch (program[i] % 7) {
      case 0: ptz_deserialize_8bit(payload, &indx); break;
      case 1: ptz_deserialize_16bit(payload, &indx); break;
      case 2: ptz_deserialize_32bit(payload, &indx); break;
      case 3: g_free(ptz_deserialize_string(payload, &indx)); break;
      case 4: g_free(ptz_deserialize_blob(payload, &indx, program[i] / 7)); break;
      case 5: g_list_free_full(ptz_deserialize_glist(payload, &indx, read_string), g_free); break;
      case 6: {
        GHashTable *table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
        ptz_deserialize_ghashtable(payload, &indx, table, read_pair);
        g_hash_table_unref(table);
        break;
      }
    }
    if (indx > payload->len) __builtin_trap();  // a reader moved past the end
  }
  g_array_free(payload, TRUE);
  return 0;
}
