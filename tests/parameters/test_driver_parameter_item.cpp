// Driver parameter items in the payload encoding: exact bytes, round trips of
// successive items, and payloads too short to hold an item.
#include "ptz_driver_parameter_item.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ptz_serialize.h"
#include "velmora_test.h"

namespace {

// One item read back; its strings are freed with it.
struct Decoded {
  PTZDriverParameterItem item = {0xdead, nullptr, nullptr, nullptr, 0xdead, 0xdead, nullptr};
  ~Decoded() {
    for (gchar *s : {item.field2, item.field3, item.field4, item.field7}) g_free(s);
  }
  void read(GArray *array, guint *indx) {
    ptz_driver_parameter_item_deserialize(array, indx, &item.field1, &item.field2, &item.field3, &item.field4,
                                          &item.field5, &item.field6, &item.field7);
  }
};

std::string text(const gchar *s) { return s != nullptr ? "'" + std::string(s) + "'" : "NULL"; }

// All seven fields, for comparing whole items.
std::string describe(const PTZDriverParameterItem &i) {
  return std::to_string(i.field1) + " " + text(i.field2) + " " + text(i.field3) + " " + text(i.field4) + " " +
         std::to_string(i.field5) + " " + std::to_string(i.field6) + " " + text(i.field7);
}

TEST(DriverParameterItem, ExactBytesAndSuccessiveItemsReadBack) {
  std::string long_text(3000, 'L');
  gchar ab[] = "ab", empty[] = "", xyz[] = "xyz", q[] = "Q";
  PTZDriverParameterItem items[] = {{0x01020304, ab, empty, xyz, 0x0a0b0c0d, 7, q},
                                    {4000000000u, empty, empty, empty, 0, 0, long_text.data()}};
  GArray *array = ptz_serialize_create_array();
  EXPECT_EQ(ptz_driver_parameter_item_serialize(&items[0], array), array);
  const std::vector<guint8> expected = {0x04, 0x03, 0x02, 0x01, 0x02, 0x00, 'a',  'b',  0x00, 0x00, 0x03, 0x00, 'x',
                                        'y',  'z',  0x0d, 0x0c, 0x0b, 0x0a, 0x07, 0x00, 0x00, 0x00, 0x01, 0x00, 'Q'};
  EXPECT_EQ(std::vector<guint8>(array->data, array->data + array->len), expected);
  ptz_driver_parameter_item_serialize(&items[1], array);
  guint indx = 0;
  for (const auto &item : items) {
    Decoded d;
    d.read(array, &indx);
    EXPECT_EQ(describe(d.item), describe(item));
  }
  EXPECT_EQ(indx, array->len);
  // NULL addresses discard their fields, but the item is still consumed.
  indx = 0;
  gchar *field7 = nullptr;
  ptz_driver_parameter_item_deserialize(array, &indx, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &field7);
  EXPECT_STREQ(field7, "Q");
  EXPECT_EQ(indx, expected.size());
  g_free(field7);
  g_array_unref(array);
}

// An item arrives whole or not at all: later fields are never decoded from
// the wrong bytes, also when a string's length promises more than follows.
TEST(DriverParameterItem, ShortPayloadsAreRefusedWhole) {
  velmora::testing::LogCapture log;  // the payload readers log their refusals
  gchar f2[] = "alpha", f3[] = "beta", f4[] = "gamma", f7[] = "delta";
  PTZDriverParameterItem item = {1, f2, f3, f4, 5, 6, f7};
  GArray *full = ptz_serialize_create_array();
  ptz_driver_parameter_item_serialize(&item, full);
  for (guint cut = 0; cut < full->len; cut++) {
    SCOPED_TRACE(cut);
    GArray *array = ptz_serialize_create_array();
    g_array_append_vals(array, full->data, cut);
    guint indx = 0;
    Decoded d;
    d.read(array, &indx);
    EXPECT_EQ(indx, 0u);
    EXPECT_EQ(describe(d.item), "0 NULL NULL NULL 0 0 NULL");
    g_array_unref(array);
  }
  g_array_unref(full);
}

}  // namespace
