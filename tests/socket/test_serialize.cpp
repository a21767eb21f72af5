// The payload encoding byte for byte, and its refusal of short payloads.
#include <cstring>
#include <string>
#include <vector>

#include "ptz_serialize.h"
#include "velmora_test.h"

using velmora::testing::LogCapture;

namespace {

struct ArrayDeleter {
  void operator()(GArray *a) const { g_array_free(a, TRUE); }
};
using Array = std::unique_ptr<GArray, ArrayDeleter>;

Array make(std::vector<guint8> bytes = {}) {
  Array a(ptz_serialize_create_array());
  if (!bytes.empty()) g_array_append_vals(a.get(), bytes.data(), bytes.size());
  return a;
}

std::vector<guint8> bytes(const GArray *a) {
  return std::vector<guint8>(reinterpret_cast<guint8 *>(a->data), reinterpret_cast<guint8 *>(a->data) + a->len);
}

void write_string(gpointer element, GArray *array) { ptz_serialize_string(array, static_cast<const gchar *>(element)); }
gpointer read_string(GArray *array, guint *indx) { return ptz_deserialize_string(array, indx); }

void write_pair(gpointer element, GArray *array) {
  auto **kv = static_cast<gpointer *>(element);
  ptz_serialize_string(array, static_cast<const gchar *>(kv[0]));
  ptz_serialize_32bit(array, GPOINTER_TO_UINT(kv[1]));
}
gpointer read_pair(GArray *array, guint *indx) {
  gchar *key = ptz_deserialize_string(array, indx);
  if (key == nullptr) return nullptr;
  auto **kv = g_new(gpointer, 2);
  kv[0] = key;
  kv[1] = GUINT_TO_POINTER(ptz_deserialize_32bit(array, indx));
  return kv;
}

int element_calls = 0;
gpointer counting_8bit(GArray *array, guint *indx) {
  element_calls++;
  return GUINT_TO_POINTER(ptz_deserialize_8bit(array, indx) + 1u);
}

}  // namespace

TEST(Serialize, ScalarsAndStringsByteForByte) {
  Array a = make();
  EXPECT_EQ(ptz_serialize_8bit(a.get(), 0xab), a.get());
  ptz_serialize_16bit(a.get(), 0x1234);
  ptz_serialize_32bit(a.get(), 0xdeadbeef);
  ptz_serialize_string(a.get(), "abc");
  ptz_serialize_string(a.get(), "");
  ptz_serialize_blob(a.get(), "\x01\x02", 2);
  EXPECT_EQ(bytes(a.get()), (std::vector<guint8>{0xab, 0x34, 0x12, 0xef, 0xbe, 0xad, 0xde, 0x03, 0x00, 'a', 'b', 'c',
                                                 0x00, 0x00, 0x01, 0x02}));
  guint i = 0;
  EXPECT_EQ(ptz_deserialize_8bit(a.get(), &i), 0xab);
  EXPECT_EQ(ptz_deserialize_16bit(a.get(), &i), 0x1234);
  EXPECT_EQ(ptz_deserialize_32bit(a.get(), &i), 0xdeadbeefu);
  gchar *s = ptz_deserialize_string(a.get(), &i);
  EXPECT_STREQ(s, "abc");
  g_free(s);
  s = ptz_deserialize_string(a.get(), &i);
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s, "");
  g_free(s);
  auto *blob = static_cast<guint8 *>(ptz_deserialize_blob(a.get(), &i, 2));
  EXPECT_EQ(blob[0], 1);
  EXPECT_EQ(blob[1], 2);
  g_free(blob);
  EXPECT_EQ(i, a->len);
}

TEST(Serialize, StringWithInnerNulReadsUpToItAndSkipsTheWholeField) {
  Array a = make({0x05, 0x00, 'a', 'b', 0x00, 'c', 'd', 0x7f});
  guint i = 0;
  gchar *s = ptz_deserialize_string(a.get(), &i);
  EXPECT_STREQ(s, "ab");
  g_free(s);
  EXPECT_EQ(i, 7u);
  EXPECT_EQ(ptz_deserialize_8bit(a.get(), &i), 0x7f);
}

TEST(Serialize, ShortPayloadsAreRefusedWithoutMovingTheIndex) {
  LogCapture capture;
  Array a = make({0x01, 0x02, 0x03});
  guint i = 0;
  EXPECT_EQ(ptz_deserialize_32bit(a.get(), &i), 0u);
  EXPECT_EQ(i, 0u);
  i = 2;
  EXPECT_EQ(ptz_deserialize_16bit(a.get(), &i), 0u);
  EXPECT_EQ(i, 2u);
  i = 3;
  EXPECT_EQ(ptz_deserialize_8bit(a.get(), &i), 0u);
  EXPECT_EQ(i, 3u);
  i = G_MAXUINT - 1;  // no wrap-around in the bounds check
  EXPECT_EQ(ptz_deserialize_32bit(a.get(), &i), 0u);
  EXPECT_EQ(capture.lines().size(), 4u);
  for (const auto &line : capture.lines()) EXPECT_EQ(line.priority, LOG_ERR);

  // A string whose length field claims more than remains.
  Array s = make({0x10, 0x00, 'a', 'b'});
  i = 0;
  EXPECT_EQ(ptz_deserialize_string(s.get(), &i), nullptr);
  EXPECT_EQ(i, 0u);
  Array one = make({0x01});
  EXPECT_EQ(ptz_deserialize_string(one.get(), &i), nullptr);
  EXPECT_EQ(i, 0u);
  // The blob reader checks too.
  EXPECT_EQ(ptz_deserialize_blob(s.get(), &i, 5), nullptr);
  EXPECT_EQ(i, 0u);
  i = 1;
  EXPECT_EQ(ptz_deserialize_blob(s.get(), &i, G_MAXUINT), nullptr);
  EXPECT_EQ(i, 1u);
  EXPECT_EQ(capture.lines().size(), 8u);
}

TEST(Serialize, OverlongStringIsTruncatedAndTheStreamStaysDecodable) {
  LogCapture capture;
  std::string big(70000, 'x');
  Array a = make();
  ptz_serialize_string(a.get(), big.c_str());
  ptz_serialize_8bit(a.get(), 0x5a);
  EXPECT_EQ(a->len, 2u + 65535u + 1u);
  EXPECT_EQ(capture.count_containing("truncated"), 1u);
  guint i = 0;
  gchar *s = ptz_deserialize_string(a.get(), &i);
  EXPECT_EQ(std::strlen(s), 65535u);
  g_free(s);
  EXPECT_EQ(ptz_deserialize_8bit(a.get(), &i), 0x5a);
}

TEST(Serialize, ListsRoundTripInOrder) {
  GList *list = nullptr;
  for (const char *s : {"one", "two", "three"}) list = g_list_append(list, const_cast<char *>(s));
  Array a = make();
  ptz_serialize_glist(a.get(), list, write_string);
  g_list_free(list);
  EXPECT_EQ(bytes(a.get())[0], 3);
  guint i = 0;
  GList *back = ptz_deserialize_glist(a.get(), &i, read_string);
  ASSERT_EQ(g_list_length(back), 3u);
  EXPECT_STREQ(static_cast<char *>(g_list_nth_data(back, 0)), "one");
  EXPECT_STREQ(static_cast<char *>(g_list_nth_data(back, 2)), "three");
  EXPECT_EQ(i, a->len);
  g_list_free_full(back, g_free);

  Array empty = make({0, 0, 0, 0});
  i = 0;
  element_calls = 0;
  EXPECT_EQ(ptz_deserialize_glist(empty.get(), &i, counting_8bit), nullptr);
  EXPECT_EQ(element_calls, 0);
  EXPECT_EQ(i, 4u);
}

TEST(Serialize, ForgedCountsStopAtTheEndOfThePayload) {
  LogCapture capture;
  Array a = make({0xff, 0xff, 0xff, 0xff, 7, 8});
  guint i = 0;
  element_calls = 0;
  GList *list = ptz_deserialize_glist(a.get(), &i, counting_8bit);
  EXPECT_EQ(g_list_length(list), 2u);
  EXPECT_LE(element_calls, 3);
  EXPECT_EQ(i, 6u);
  g_list_free(list);

  // A table whose element reader gives up (returns NULL) mid-way.
  Array t = make({0x00, 0x00, 0x00, 0x10});
  ptz_serialize_string(t.get(), "k");
  ptz_serialize_32bit(t.get(), 9);
  ptz_serialize_16bit(t.get(), 40);  // a key that claims 40 bytes
  GHashTable *table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
  i = 0;
  EXPECT_EQ(ptz_deserialize_ghashtable(t.get(), &i, table, read_pair), table);
  EXPECT_EQ(g_hash_table_size(table), 1u);
  EXPECT_EQ(GPOINTER_TO_UINT(g_hash_table_lookup(table, "k")), 9u);
  g_hash_table_unref(table);
  EXPECT_GE(capture.count_containing("payload ends after"), 2u);
}

TEST(Serialize, HashTablesRoundTripAndLaterKeysReplace) {
  GHashTable *table = g_hash_table_new(g_str_hash, g_str_equal);
  g_hash_table_insert(table, const_cast<char *>("a"), GUINT_TO_POINTER(1));
  g_hash_table_insert(table, const_cast<char *>("b"), GUINT_TO_POINTER(2));
  Array a = make();
  ptz_serialize_ghashtable(a.get(), table, write_pair);
  g_hash_table_unref(table);
  // Append a third entry that repeats key "a".
  guint32 *count = reinterpret_cast<guint32 *>(a->data);
  *count = 3;
  ptz_serialize_string(a.get(), "a");
  ptz_serialize_32bit(a.get(), 7);

  GHashTable *back = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
  guint i = 0;
  ptz_deserialize_ghashtable(a.get(), &i, back, read_pair);
  EXPECT_EQ(g_hash_table_size(back), 2u);
  EXPECT_EQ(GPOINTER_TO_UINT(g_hash_table_lookup(back, "a")), 7u);
  EXPECT_EQ(GPOINTER_TO_UINT(g_hash_table_lookup(back, "b")), 2u);
  EXPECT_EQ(i, a->len);

  Array zero = make({0, 0, 0, 0});
  i = 0;
  ptz_deserialize_ghashtable(zero.get(), &i, back, read_pair);
  EXPECT_EQ(g_hash_table_size(back), 2u);
  g_hash_table_unref(back);
}

TEST(SerializeDeathTest, CallerErrorsAreFatalAssertionsNamingTheCondition) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(ptz_serialize_8bit(nullptr, 1), "array != NULL");
  Array a = make();
  EXPECT_DEATH(ptz_serialize_string(a.get(), nullptr), "string != NULL");
  EXPECT_DEATH(ptz_serialize_glist(a.get(), nullptr, write_string), "list != NULL");
  guint i = 0;
  EXPECT_DEATH(ptz_deserialize_glist(a.get(), &i, nullptr), "deserializer != NULL");
  EXPECT_DEATH(ptz_deserialize_ghashtable(a.get(), &i, nullptr, read_pair), "table != NULL");
}
