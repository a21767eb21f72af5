// Driver parameter items in the payload encoding, against their floor: a
// memcpy of the same encoded bytes. Writing appends to a reused array, as a
// sender building one message after another does; reading yields new strings.
#include <glib.h>

#include <cstring>
#include <vector>

#include "bench/bench_ratio.h"
#include "ptz_driver_parameter_item.h"
#include "ptz_serialize.h"

namespace {

using velmora::bench::Goal;

// A typical item: a short name, a value, a range and a description.
PTZDriverParameterItem item() {
  static gchar name[] = "PanSpeed", value[] = "100", range[] = "1..255", text[] = "pan speed in degrees per s";
  return {7, name, value, range, 1, 2, text};
}

std::vector<guint8> encoded() {
  PTZDriverParameterItem it = item();
  GArray *array = ptz_serialize_create_array();
  ptz_driver_parameter_item_serialize(&it, array);
  std::vector<guint8> bytes(array->data, array->data + array->len);
  g_array_free(array, TRUE);
  return bytes;
}

void BM_MemcpyItem(benchmark::State &state) {
  std::vector<guint8> source = encoded();
  std::vector<guint8> target(source.size());
  for (auto _ : state) {
    memcpy(target.data(), source.data(), source.size());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyItem);

void BM_SerializeItem(benchmark::State &state) {
  PTZDriverParameterItem it = item();
  GArray *array = ptz_serialize_create_array();
  for (auto _ : state) {
    g_array_set_size(array, 0);
    ptz_driver_parameter_item_serialize(&it, array);
    benchmark::ClobberMemory();
  }
  if (array->len != encoded().size()) state.SkipWithError("wrong size");
  g_array_free(array, TRUE);
}
BENCHMARK(BM_SerializeItem);

void BM_DeserializeItem(benchmark::State &state) {
  std::vector<guint8> bytes = encoded();
  GArray *array = ptz_serialize_create_array();
  g_array_append_vals(array, bytes.data(), guint(bytes.size()));
  for (auto _ : state) {
    guint index = 0;
    guint32 f1, f5, f6;
    gchar *f2, *f3, *f4, *f7;
    ptz_driver_parameter_item_deserialize(array, &index, &f1, &f2, &f3, &f4, &f5, &f6, &f7);
    if (index != bytes.size()) state.SkipWithError("wrong size");
    g_free(f2);
    g_free(f3);
    g_free(f4);
    g_free(f7);
  }
  g_array_free(array, TRUE);
}
BENCHMARK(BM_DeserializeItem);

}  // namespace

int main(int argc, char **argv) {
  return velmora::bench::run_and_report(
      argc, argv,
      {{"Driver parameter item, writing, against a memcpy of the encoded bytes", "BM_SerializeItem", "BM_MemcpyItem"},
       {"Driver parameter item, reading (four new strings), against a memcpy of the encoded bytes",
        "BM_DeserializeItem", "BM_MemcpyItem"}});
}
