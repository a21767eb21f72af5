// The GVariant-driven encoding: the same bytes as the piecewise writers,
// round trips, and refusal of types without encoding and of hostile payloads.
#include <string>
#include <vector>

#include "ptz_serialize.h"
#include "velmora_test.h"

using velmora::testing::LogCapture;

namespace {

std::vector<guint8> contents(GBytes *bytes) {
  gsize size = 0;
  auto *data = static_cast<const guint8 *>(g_bytes_get_data(bytes, &size));
  return std::vector<guint8>(data, data + size);
}

std::vector<guint8> contents(GArray *array) {
  auto *data = reinterpret_cast<const guint8 *>(array->data);
  return std::vector<guint8>(data, data + array->len);
}

GBytes *bytes_of(const std::vector<guint8> &data) { return g_bytes_new(data.data(), data.size()); }

std::string print(GVariant *value) {
  gchar *text = g_variant_print(value, FALSE);
  std::string result = text;
  g_free(text);
  return result;
}

// A driver-parameter item and a list of them: what the piecewise writers
// and ptz_serialize_glist produce, byte for byte.
TEST(SerializeVariant, EncodesLikeThePiecewiseWritersAndDecodesBack) {
  GArray *expected = ptz_serialize_create_array();
  ptz_serialize_8bit(expected, 7);
  ptz_serialize_16bit(expected, guint16(-2));
  ptz_serialize_16bit(expected, 65000);
  ptz_serialize_32bit(expected, guint32(-1050));
  ptz_serialize_32bit(expected, 33);
  ptz_serialize_string(expected, "caf\xc3\xa9");
  ptz_serialize_32bit(expected, 2);  // array count
  ptz_serialize_32bit(expected, 1);
  ptz_serialize_string(expected, "a");
  ptz_serialize_32bit(expected, 2);
  ptz_serialize_string(expected, "");
  ptz_serialize_32bit(expected, 1);  // dictionary count
  ptz_serialize_string(expected, "k");
  ptz_serialize_string(expected, "v");

  GVariant *value = g_variant_new_parsed(
      "(byte 7, int16 -2, uint16 65000, -1050, uint32 33, 'caf\xc3\xa9', [(uint32 1, 'a'), (2, '')], "
      "{'k': 'v'})");
  const std::string printed = print(value);
  GBytes *encoded = ptz_serialize_variant(value);  // consumes the floating reference
  ASSERT_NE(encoded, nullptr);
  EXPECT_EQ(contents(encoded), contents(expected));

  guint indx = 0;
  GVariant *decoded = ptz_deserialize_variant(encoded, &indx, G_VARIANT_TYPE("(ynqiusa(us)a{ss})"));
  ASSERT_NE(decoded, nullptr);
  EXPECT_FALSE(g_variant_is_floating(decoded));
  EXPECT_EQ(print(decoded), printed);
  EXPECT_EQ(indx, expected->len);

  // Piece by piece with a moving index, as a reply is read.
  indx = 0;
  GVariant *first = ptz_deserialize_variant(encoded, &indx, G_VARIANT_TYPE("(ynq)"));
  GVariant *number = ptz_deserialize_variant(encoded, &indx, G_VARIANT_TYPE_INT32);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(number, nullptr);
  EXPECT_EQ(print(first), "(0x07, -2, 65000)");
  EXPECT_EQ(g_variant_get_int32(number), -1050);
  EXPECT_EQ(indx, 9u);

  g_variant_unref(first);
  g_variant_unref(number);
  g_variant_unref(decoded);
  g_bytes_unref(encoded);
  g_array_free(expected, TRUE);
}

TEST(SerializeVariant, TypesWithoutEncodingAndOverlongStringsAreRefused) {
  LogCapture capture;
  for (const char *text : {"(1.5,)", "(true,)", "(int64 1,)", "(<1>,)", "(@mi 1,)", "()"}) {
    GVariant *value = g_variant_new_parsed(text);
    EXPECT_EQ(ptz_serialize_variant(value), nullptr) << text;
  }
  std::string long_text(65536, 'x');
  EXPECT_EQ(ptz_serialize_variant(g_variant_new_string(long_text.c_str())), nullptr);
  long_text.pop_back();
  GBytes *longest = ptz_serialize_variant(g_variant_new_string(long_text.c_str()));
  ASSERT_NE(longest, nullptr);
  EXPECT_EQ(g_bytes_get_size(longest), 65537u);
  g_bytes_unref(longest);
  EXPECT_EQ(capture.count_containing("ptz_serialize_variant: values of type"), 6u);
  EXPECT_EQ(capture.count_containing("too long for its length field"), 1u);

  GBytes *payload = bytes_of({1, 0, 0, 0});
  guint indx = 0;
  EXPECT_EQ(ptz_deserialize_variant(payload, &indx, G_VARIANT_TYPE("(ud)")), nullptr);
  EXPECT_EQ(ptz_deserialize_variant(payload, &indx, G_VARIANT_TYPE("a()")), nullptr);
  EXPECT_EQ(indx, 0u);
  g_bytes_unref(payload);
}

// Payloads come from other processes: short data, a string running past the
// end, a forged array count and a start past the end all fail without
// moving the index; text that is not UTF-8 arrives as ISO-8859-1.
TEST(SerializeVariant, HostilePayloadsFailAndLatin1TextIsConverted) {
  LogCapture capture;
  struct Case {
    std::vector<guint8> data;
    const char *type;
    guint start;
  };
  const Case cases[] = {
      {{1, 0, 0}, "u", 0},
      {{5, 0, 'a', 'b'}, "s", 0},
      {{0xff, 0xff, 0xff, 0xff, 1, 2, 3}, "ay", 0},
      {{2, 0, 0, 0, 1, 0, 0, 0}, "au", 0},
      {{1, 0, 0, 0, 2, 0, 0, 0}, "(uu)", 4},
      {{1, 2}, "y", 3},
  };
  for (const auto &c : cases) {
    GBytes *payload = bytes_of(c.data);
    guint indx = c.start;
    EXPECT_EQ(ptz_deserialize_variant(payload, &indx, G_VARIANT_TYPE(c.type)), nullptr) << c.type;
    EXPECT_EQ(indx, c.start) << c.type;
    g_bytes_unref(payload);
  }
  EXPECT_EQ(capture.count_containing("ptz_deserialize_variant: the payload"), G_N_ELEMENTS(cases));

  GBytes *latin1 = bytes_of({4, 0, 'c', 'a', 'f', 0xe9, 3, 0, 0, 0, 1, 2, 3});
  guint indx = 0;
  GVariant *value = ptz_deserialize_variant(latin1, &indx, G_VARIANT_TYPE("(say)"));
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(print(value), "('caf\xc3\xa9', [0x01, 0x02, 0x03])");
  g_variant_unref(value);
  g_bytes_unref(latin1);
}

}  // namespace
