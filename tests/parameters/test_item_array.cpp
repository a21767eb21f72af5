// test-labels: threaded
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/ptz_raii.h"
#include "ptz_parameter_item_array.h"
#include "velmora_test.h"

using velmora::testing::GLibLogCapture;

// GLib's slice allocator hands memory between threads under a lock that
// ThreadSanitizer cannot see; with plain malloc it sees every hand-over.
__attribute__((constructor)) static void use_plain_malloc() {
  if (getenv("G_SLICE") == nullptr) setenv("G_SLICE", "always-malloc", 1);
}

namespace {

// A caller's item whose strings live as long as the object.
struct Item {
  PTZParameterItem item{};
  explicit Item(const char *name, const char *value = "", const char *range = nullptr,
                const char *text1 = nullptr, const char *text2 = nullptr, gint32 word = 0) {
    item.name = const_cast<gchar *>(name);
    item.text1 = const_cast<gchar *>(text1);
    item.text2 = const_cast<gchar *>(text2);
    item.range = const_cast<gchar *>(range);
    g_strlcpy(item.value, value, sizeof item.value);
    item.word1 = word;
    item.word2 = word + 1;
    item.word3 = word + 2;
  }
  const PTZParameterItem *operator&() const { return &item; }
};

using ArrayPtr = velmora::GObjectPtr<PTZParameterItemArray>;

ArrayPtr make_array(const char *name, std::initializer_list<const char *> item_names) {
  ArrayPtr array(ptz_parameter_item_array_new(name));
  for (const char *n : item_names) ptz_parameter_item_array_append(array.get(), &Item(n, n));
  return array;
}

std::vector<std::string> names(PTZParameterItemArray *array) {
  std::vector<std::string> out;
  for (guint32 i = 0; i < ptz_parameter_item_array_items(array); i++)
    out.push_back(ptz_parameter_item_array_get(array, i)->name);
  return out;
}

}  // namespace

TEST(ParameterItemArray, StoresDeepCopiesAndBoundsValues) {
  ArrayPtr array(ptz_parameter_item_array_new(nullptr));
  gchar name[] = "Speed", range[] = "0-100", text1[] = "t1";
  std::string v63(63, 'v');
  PTZParameterItem src{};
  src.name = name;
  src.range = range;
  src.text1 = text1;
  src.word1 = 7;
  memcpy(src.value, v63.c_str(), 64);
  PTZParameterItem *stored = ptz_parameter_item_array_append(array.get(), &src);
  ASSERT_NE(stored, nullptr);
  name[0] = range[0] = text1[0] = 'X';
  EXPECT_STREQ(stored->name, "Speed");
  EXPECT_STREQ(stored->range, "0-100");
  EXPECT_STREQ(stored->text1, "t1");
  EXPECT_EQ(stored->text2, nullptr);
  EXPECT_EQ(stored->word1, 7);
  EXPECT_EQ(stored->value, v63);

  // A caller's buffer filled to the last byte without a terminator.
  PTZParameterItem full{};
  full.name = const_cast<gchar *>("Full");
  memset(full.value, 'f', sizeof full.value);
  EXPECT_EQ(std::string(ptz_parameter_item_array_append(array.get(), &full)->value),
            std::string(63, 'f'));

  // set_value_by_name keeps the first 63 characters of a longer value.
  std::string v100(100, 'w');
  EXPECT_EQ(std::string(ptz_parameter_item_array_set_value_by_name(array.get(), "Speed",
                                                                   v100.c_str())->value),
            std::string(63, 'w'));
}

TEST(ParameterItemArray, SetRefusesValuesTooLongForTheBuffer) {
  ArrayPtr array = make_array("G", {"A"});
  std::string v64(64, 'x'), v63(63, 'y');
  GLibLogCapture criticals;
  EXPECT_EQ(ptz_parameter_item_array_set(array.get(), 0, v64.c_str(), nullptr, 1, "r", 2), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_by_name(array.get(), "A", v64.c_str(), nullptr, 1, "r", 2),
            nullptr);
  EXPECT_EQ(criticals.count_containing("strlen(value) < PAR_VAL_MAX_LEN"), 2u);
  PTZParameterItem *item = ptz_parameter_item_array_get(array.get(), 0);
  EXPECT_STREQ(item->value, "A");
  EXPECT_EQ(item->range, nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set(array.get(), 0, v63.c_str(), nullptr, 1, nullptr, 2), item);
  EXPECT_EQ(item->value, v63);
  EXPECT_EQ(criticals.count(G_LOG_LEVEL_CRITICAL), 2u);
}

TEST(ParameterItemArray, DuplicateNamesResolveToTheFirstItem) {
  ArrayPtr array(ptz_parameter_item_array_new("G"));
  PTZParameterItem *first = ptz_parameter_item_array_append(array.get(), &Item("Dup", "1"));
  PTZParameterItem *second = ptz_parameter_item_array_append(array.get(), &Item("Dup", "2"));
  ASSERT_NE(first, second);
  EXPECT_EQ(ptz_parameter_item_array_items(array.get()), 2u);
  EXPECT_EQ(ptz_parameter_item_array_get_by_name(array.get(), "Dup"), first);
  EXPECT_EQ(ptz_parameter_item_array_set_by_name(array.get(), "Dup", "x", nullptr, 0, nullptr, 0),
            first);
  EXPECT_STREQ(second->value, "2");
  ptz_parameter_item_array_remove_by_name(array.get(), "Dup");
  EXPECT_EQ(ptz_parameter_item_array_items(array.get()), 1u);
  EXPECT_EQ(ptz_parameter_item_array_get(array.get(), 0), second);
  // A NULL name is a name like any other.
  PTZParameterItem *anonymous = ptz_parameter_item_array_append(array.get(), &Item(nullptr, "n"));
  EXPECT_EQ(ptz_parameter_item_array_get_by_name(array.get(), nullptr), anonymous);
}

TEST(ParameterItemArray, AddUpdatesInPlaceOrAppends) {
  ArrayPtr array = make_array("G", {"A", "B", "C"});
  PTZParameterItem *b = ptz_parameter_item_array_get(array.get(), 1);
  ptz_parameter_item_array_set(array.get(), 1, "old", "keep?", 0, "r", 0);
  Item update("B", "new", nullptr, "t1", nullptr, 40);
  EXPECT_EQ(ptz_parameter_item_array_add(array.get(), &update), b);
  EXPECT_EQ(names(array.get()), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_STREQ(b->value, "new");
  EXPECT_STREQ(b->text1, "t1");
  EXPECT_EQ(b->text2, nullptr);  // add replaces every field, NULL included
  EXPECT_EQ(b->range, nullptr);
  EXPECT_EQ(b->word1, 40);
  EXPECT_EQ(b->word2, 41);
  EXPECT_EQ(b->word3, 42);
  PTZParameterItem *d = ptz_parameter_item_array_add(array.get(), &Item("D", "d"));
  EXPECT_EQ(ptz_parameter_item_array_get(array.get(), 3), d);
  EXPECT_EQ(ptz_parameter_item_array_items(array.get()), 4u);
}

TEST(ParameterItemArray, IndexBoundsAndArgumentChecks) {
  ArrayPtr array = make_array("G", {"A", "B"});
  GLibLogCapture criticals;
  EXPECT_EQ(ptz_parameter_item_array_get(array.get(), 2), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_get(array.get(), 3), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set(array.get(), 3, "v", nullptr, 0, nullptr, 0), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_range(array.get(), 3, "r"), nullptr);
  ptz_parameter_item_array_remove(array.get(), 2);
  ptz_parameter_item_array_remove(array.get(), 9);
  EXPECT_EQ(criticals.count(G_LOG_LEVEL_CRITICAL), 0u);
  EXPECT_EQ(ptz_parameter_item_array_items(array.get()), 2u);

  // An index equal to count names no item: a critical.
  EXPECT_EQ(ptz_parameter_item_array_set(array.get(), 2, "v", nullptr, 0, nullptr, 0), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_range(array.get(), 2, "r"), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_by_name(array.get(), "Z", "v", nullptr, 0, nullptr, 0),
            nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_range_by_name(array.get(), "Z", "r"), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_value_by_name(array.get(), "Z", "v"), nullptr);
  EXPECT_EQ(criticals.count_containing("ptz_parameter_item_array_set"), 5u);
  EXPECT_EQ(criticals.count_containing("item != NULL"), 5u);

  Item item("A");
  EXPECT_EQ(ptz_parameter_item_array_append(nullptr, &item), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_add(nullptr, &item), nullptr);
  EXPECT_EQ(criticals.count_containing("self != NULL && item != NULL"), 2u);
  EXPECT_EQ(ptz_parameter_item_array_remove(nullptr, 0), nullptr);
  ptz_parameter_item_array_free(nullptr);
  EXPECT_EQ(criticals.count_containing("'self != NULL'"), 2u);
}

TEST(ParameterItemArray, NullRangeClearsByIndexAndKeepsByName) {
  ArrayPtr array(ptz_parameter_item_array_new("G"));
  ptz_parameter_item_array_append(array.get(), &Item("A", "a", "ra", nullptr, "ta"));
  ptz_parameter_item_array_append(array.get(), &Item("B", "b", "rb", nullptr, "tb"));
  PTZParameterItem *a = ptz_parameter_item_array_set(array.get(), 0, "a2", nullptr, 5, nullptr, 6);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->range, nullptr);
  EXPECT_STREQ(a->text2, "ta");
  EXPECT_EQ(a->word2, 5);
  EXPECT_EQ(a->word3, 6);
  PTZParameterItem *b =
      ptz_parameter_item_array_set_by_name(array.get(), "B", "b2", nullptr, 7, nullptr, 8);
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(b->range, "rb");
  EXPECT_STREQ(b->text2, "tb");
  EXPECT_STREQ(b->value, "b2");
  // The range operations clear with NULL.
  EXPECT_EQ(ptz_parameter_item_array_set_range_by_name(array.get(), "B", nullptr), b);
  EXPECT_EQ(b->range, nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_range(array.get(), 1, "x"), b);
  EXPECT_STREQ(b->range, "x");
}

TEST(ParameterItemArray, RemoveKeepsTheOthersInOrder) {
  ArrayPtr array = make_array("G", {"A", "B", "C", "D"});
  ptz_parameter_item_array_remove(array.get(), 3);
  EXPECT_EQ(names(array.get()), (std::vector<std::string>{"A", "B", "C"}));
  ptz_parameter_item_array_remove(array.get(), 1);
  EXPECT_EQ(names(array.get()), (std::vector<std::string>{"A", "C"}));
  ptz_parameter_item_array_remove_by_name(array.get(), "nobody");
  ptz_parameter_item_array_remove(array.get(), 0);
  EXPECT_EQ(names(array.get()), (std::vector<std::string>{"C"}));
  ptz_parameter_item_array_free(array.get());
  EXPECT_EQ(ptz_parameter_item_array_items(array.get()), 0u);
  ptz_parameter_item_array_remove(array.get(), 0);
  // An emptied array can be filled again.
  ptz_parameter_item_array_append(array.get(), &Item("E"));
  EXPECT_EQ(names(array.get()), (std::vector<std::string>{"E"}));
}

TEST(ParameterItemArray, MapAndMapRemove) {
  std::vector<std::string> seen;
  auto until_c = [](PTZParameterItem *item, gpointer data) -> gboolean {
    static_cast<std::vector<std::string> *>(data)->push_back(item->name);
    return strcmp(item->name, "C") != 0;
  };
  ArrayPtr empty(ptz_parameter_item_array_new("E"));
  EXPECT_TRUE(ptz_parameter_item_array_map(empty.get(), until_c, &seen));
  EXPECT_TRUE(seen.empty());
  ArrayPtr array = make_array("G", {"A", "B", "C", "D", "E"});
  EXPECT_FALSE(ptz_parameter_item_array_map(array.get(), until_c, &seen));
  EXPECT_EQ(seen, (std::vector<std::string>{"A", "B", "C"}));

  auto b_or_d = [](PTZParameterItem *item, gpointer) -> gboolean {
    return strcmp(item->name, "B") == 0 || strcmp(item->name, "D") == 0;
  };
  EXPECT_TRUE(ptz_parameter_item_array_map_remove(array.get(), b_or_d, nullptr));
  EXPECT_EQ(names(array.get()), (std::vector<std::string>{"A", "C", "E"}));
  auto all = [](PTZParameterItem *, gpointer) -> gboolean { return TRUE; };
  EXPECT_TRUE(ptz_parameter_item_array_map_remove(array.get(), all, nullptr));
  EXPECT_EQ(ptz_parameter_item_array_items(array.get()), 0u);
  EXPECT_EQ(array->items, nullptr);
}

TEST(ParameterItemArray, CopyIsIndependentAndOrdered) {
  ArrayPtr empty(ptz_parameter_item_array_new("Empty"));
  ArrayPtr empty_copy(ptz_parameter_item_array_copy(empty.get()));
  EXPECT_STREQ(ptz_parameter_item_array_name(empty_copy.get()), "Empty");
  EXPECT_NE(ptz_parameter_item_array_name(empty_copy.get()), ptz_parameter_item_array_name(empty.get()));
  EXPECT_EQ(ptz_parameter_item_array_items(empty_copy.get()), 0u);

  ArrayPtr array = make_array("G", {"A", "B", "C"});
  ptz_parameter_item_array_set(array.get(), 1, "b", "t2", 3, "r", 4);
  ArrayPtr copy(ptz_parameter_item_array_copy(array.get()));
  EXPECT_EQ(names(copy.get()), names(array.get()));
  PTZParameterItem *b = ptz_parameter_item_array_get(copy.get(), 1);
  EXPECT_NE(b, ptz_parameter_item_array_get(array.get(), 1));
  EXPECT_STREQ(b->text2, "t2");
  EXPECT_STREQ(b->range, "r");
  EXPECT_EQ(b->word3, 4);
  ptz_parameter_item_array_set_range(array.get(), 1, "changed");
  ptz_parameter_item_array_remove(array.get(), 0);
  array.reset();
  EXPECT_STREQ(b->range, "r");
  EXPECT_EQ(ptz_parameter_item_array_items(copy.get()), 3u);
}

// Several threads on arrays that share the class-wide lock: concurrent adds
// of the same names never store a name twice, and copies taken meanwhile are
// consistent snapshots.
TEST(ParameterItemArray, ConcurrentUseFromSeveralThreads) {
  constexpr int kThreads = 4, kNames = 200;
  ArrayPtr shared(ptz_parameter_item_array_new("Shared"));
  ArrayPtr other(ptz_parameter_item_array_new("Other"));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kNames; i++) {
        std::string name = "P" + std::to_string(i);
        std::string value = std::to_string(t);
        ptz_parameter_item_array_add(shared.get(), &Item(name.c_str(), value.c_str()));
        ptz_parameter_item_array_set_value_by_name(shared.get(), name.c_str(), value.c_str());
        std::string own = "T" + std::to_string(t) + "_" + std::to_string(i);
        ptz_parameter_item_array_append(other.get(), &Item(own.c_str()));
        if (i % 2) ptz_parameter_item_array_remove_by_name(other.get(), own.c_str());
      }
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < 50; i++) {
      ArrayPtr snapshot(ptz_parameter_item_array_copy(shared.get()));
      guint32 n = ptz_parameter_item_array_items(snapshot.get());
      ASSERT_LE(n, guint32(kNames));
      for (guint32 k = 0; k < n; k++)
        ASSERT_STREQ(ptz_parameter_item_array_get(snapshot.get(), k)->name,
                     ("P" + std::to_string(k)).c_str());
    }
  });
  for (auto &thread : threads) thread.join();
  EXPECT_EQ(ptz_parameter_item_array_items(shared.get()), guint32(kNames));
  EXPECT_EQ(ptz_parameter_item_array_items(other.get()), guint32(kThreads * kNames / 2));
  for (int i = 0; i < kNames; i++) {
    PTZParameterItem *item = ptz_parameter_item_array_get(shared.get(), i);
    EXPECT_STREQ(item->name, ("P" + std::to_string(i)).c_str());
  }
}
