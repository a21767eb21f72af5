// Payload decoding on arbitrary bytes: the first byte says how many of the
// following bytes are a program of reads, the rest is the payload. Besides
// the plain readers the program can read driver parameter items, which are
// taken whole or not at all.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "ptz_driver_parameter_item.h"
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

// One driver parameter item: either the index moves past a whole item whose
// re-encoding is no longer than the bytes it came from (strings end at a NUL
// inside their field) and equal to them when the fields hold no NUL, or
// nothing is read and every field comes back empty.
void read_item(GArray *payload, guint *indx) {
  const guint before = *indx;
  guint32 numbers[3] = {1, 1, 1};
  gchar *strings[4] = {};
  ptz_driver_parameter_item_deserialize(payload, indx, &numbers[0], &strings[0], &strings[1], &strings[2], &numbers[1],
                                        &numbers[2], &strings[3]);
  if (*indx == before) {
    for (guint32 n : numbers) FUZZ_CHECK(n == 0);
    for (gchar *s : strings) FUZZ_CHECK(s == nullptr);
    return;
  }
  for (gchar *s : strings) FUZZ_CHECK(s != nullptr);
  PTZDriverParameterItem item = {numbers[0], strings[0], strings[1], strings[2], numbers[1], numbers[2], strings[3]};
  GArray *again = ptz_driver_parameter_item_serialize(&item, ptz_serialize_create_array());
  const guint consumed = *indx - before;
  FUZZ_CHECK(again->len <= consumed);
  if (again->len == consumed) FUZZ_CHECK(memcmp(again->data, payload->data + before, consumed) == 0);
  g_array_free(again, TRUE);
  for (gchar *s : strings) g_free(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static velmora::fuzz::Session session(true);
  session.next_run();
  if (size == 0) return 0;
  size_t ops = data[0];
  if (ops > size - 1) ops = size - 1;
  const uint8_t *program = data + 1;
  GArray *payload = ptz_serialize_create_array();
  g_array_append_vals(payload, data + 1 + ops, static_cast<guint>(size - 1 - ops));
  guint indx = 0;
  for (size_t i = 0; i < ops; i++) {
    switch (program[i] % 8) {
      case 0:
        ptz_deserialize_8bit(payload, &indx);
        break;
      case 1:
        ptz_deserialize_16bit(payload, &indx);
        break;
      case 2:
        ptz_deserialize_32bit(payload, &indx);
        break;
      case 3:
        g_free(ptz_deserialize_string(payload, &indx));
        break;
      case 4:
        g_free(ptz_deserialize_blob(payload, &indx, program[i] / 8));
        break;
      case 5:
        g_list_free_full(ptz_deserialize_glist(payload, &indx, read_string), g_free);
        break;
      case 6: {
        GHashTable *table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
        ptz_deserialize_ghashtable(payload, &indx, table, read_pair);
        g_hash_table_unref(table);
        break;
      }
      case 7:
        read_item(payload, &indx);
        break;
    }
    FUZZ_CHECK(indx <= payload->len);  // no reader moves past the end
  }
  g_array_free(payload, TRUE);
  return 0;
}
