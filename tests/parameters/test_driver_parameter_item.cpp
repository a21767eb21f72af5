// Driver parameter items in the payload encoding: exact bytes, round trips of
// several items, and payloads too short to hold an item.
#include "ptz_driver_parameter_item.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ptz_serialize.h"
#include "velmora_test.h"

namespace {

struct Decoded {
  guint32 field1 = 0xdead, field5 = 0xdead, field6 = 0xdead;
  gchar *field2 = nullptr, *field3 = nullptr, *field4 = nullptr, *field7 = nullptr;
  ~Decoded() {
    g_free(field2);
    g_free(field3);
    g_free(field4);
    g_free(field7);
  }
  void read(GArray *array, guint *indx) {
    ptz_driver_parameter_item_deserialize(array, indx, &field1, &field2, &field3, &field4, &field5, &field6,
                                          &field7);
  }
};

GArray *array_of(const std::vector<guint8> &bytes) {
  GArray *array = ptz_serialize_create_array();
  g_array_append_vals(array, bytes.data(), guint(bytes.size()));
  return array;
}

TEST(DriverParameterItem, EncodesFieldsInOrderWithoutPadding) {
  gchar f2[] = "ab", f3[] = "", f4[] = "xyz", f7[] = "Q";
  PTZDriverParameterItem item = {0x01020304, f2, f3, f4, 0x0a0b0c0d, 7, f7};
  GArray *array = ptz_serialize_create_array();
  EXPECT_EQ(ptz_driver_parameter_item_serialize(&item, array), array);
  const std::vector<guint8> expected = {0x04, 0x03, 0x02, 0x01, 0x02, 0x00, 'a', 'b', 0x00, 0x00,
                                        0x03, 0x00, 'x',  'y',  'z',  0x0d, 0x0c, 0x0b, 0x0a, 0x07,
                                        0x00, 0x00, 0x00, 0x01, 0x00, 'Q'};
  ASSERT_EQ(array->len, expected.size());
  EXPECT_EQ(std::vector<guint8>(array->data, array->data + array->len), expected);
  g_array_unref(array);
}

TEST(DriverParameterItem, ItemsReadBackOneAfterAnother) {
  std::string long_text(3000, 'L');
  gchar name[] = "speed", unit[] = "deg/s", range[] = "0..360", empty[] = "";
  PTZDriverParameterItem items[] = {{17, name, unit, range, 4000000000u, 2, long_text.data()},
                                    {0, empty, empty, empty, 0, 0, empty}};
  GArray *array = ptz_serialize_create_array();
  for (auto &item : items) ptz_driver_parameter_item_serialize(&item, array);
  guint indx = 0;
  for (auto &item : items) {
    guint start = indx;
    Decoded d;
    d.read(array, &indx);
    EXPECT_EQ(d.field1, item.field1);
    EXPECT_STREQ(d.field2, item.field2);
    EXPECT_STREQ(d.field3, item.field3);
    EXPECT_STREQ(d.field4, item.field4);
    EXPECT_EQ(d.field5, item.field5);
    EXPECT_EQ(d.field6, item.field6);
    EXPECT_STREQ(d.field7, item.field7);
    EXPECT_EQ(indx - start, 20 + strlen(item.field2) + strlen(item.field3) + strlen(item.field4) +
                                strlen(item.field7));
  }
  EXPECT_EQ(indx, array->len);
  // NULL addresses skip their fields but the item is still consumed.
  indx = 0;
  gchar *field7 = nullptr;
  ptz_driver_parameter_item_deserialize(array, &indx, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        &field7);
  EXPECT_EQ(std::string(field7), long_text);
  g_free(field7);
  g_array_unref(array);
}

TEST(DriverParameterItem, ShortPayloadsAreRefusedWhole) {
  velmora::testing::LogCapture log;  // the payload readers log their refusals
  gchar f2[] = "alpha", f3[] = "beta", f4[] = "gamma", f7[] = "delta";
  PTZDriverParameterItem item = {1, f2, f3, f4, 5, 6, f7};
  GArray *full = ptz_serialize_create_array();
  ptz_driver_parameter_item_serialize(&item, full);
  // Every truncation, including the ones that cut inside a string field
  // whose length promises more than follows.
  for (guint cut = 0; cut < full->len; cut++) {
    GArray *array = array_of(std::vector<guint8>(full->data, full->data + cut));
    guint indx = 0;
    Decoded d;
    d.read(array, &indx);
    EXPECT_EQ(indx, 0u) << cut;
    EXPECT_EQ(d.field1, 0u) << cut;
    EXPECT_EQ(d.field2, nullptr) << cut;
    EXPECT_EQ(d.field3, nullptr) << cut;
    EXPECT_EQ(d.field4, nullptr) << cut;
    EXPECT_EQ(d.field5, 0u) << cut;
    EXPECT_EQ(d.field6, 0u) << cut;
    EXPECT_EQ(d.field7, nullptr) << cut;
    g_array_unref(array);
  }
  g_array_unref(full);
}

}  // namespace
