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

// A caller's item whose strings live as long as the object; word1 to word3
// are `word`, `word` + 1 and `word` + 2.
struct Item {
  PTZParameterItem item{};
  explicit Item(const char *name, const char *value = "", const char *range = nullptr, const char *text1 = nullptr,
                const char *text2 = nullptr, gint32 word = 0) {
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
using Names = std::vector<std::string>;

// An array of items named (and valued) as given.
ArrayPtr make_array(const char *name, std::initializer_list<const char *> item_names) {
  ArrayPtr array(ptz_parameter_item_array_new(name));
  for (const char *n : item_names) ptz_parameter_item_array_append(array.get(), &Item(n, n));
  return array;
}

// Every field of a stored item, for comparing whole items.
std::string fields(const PTZParameterItem *item) {
  auto text = [](const gchar *s) { return std::string(s != nullptr ? s : "NULL"); };
  return text(item->name) + " " + item->value + " " + text(item->text1) + " " + text(item->text2) + " " +
         text(item->range) + " " + std::to_string(item->word1) + "," + std::to_string(item->word2) + "," +
         std::to_string(item->word3);
}

Names names(PTZParameterItemArray *array) {
  Names out;
  for (guint32 i = 0; i < ptz_parameter_item_array_items(array); i++)
    out.push_back(ptz_parameter_item_array_get(array, i)->name);
  return out;
}

}  // namespace

TEST(ParameterItemArray, StoresDeepCopiesWithBoundedValues) {
  ArrayPtr array(ptz_parameter_item_array_new(nullptr));
  PTZParameterItemArray *a = array.get();
  gchar name[] = "Speed", range[] = "0-100", text1[] = "t1";
  std::string v63(63, 'v'), v64(64, 'w');
  PTZParameterItem *stored = ptz_parameter_item_array_append(a, &Item(name, v63.c_str(), range, text1));
  name[0] = range[0] = text1[0] = 'X';
  EXPECT_EQ(fields(stored), "Speed " + v63 + " t1 NULL 0-100 0,1,2");

  // A caller's buffer filled to the last byte without a terminator.
  Item full("Full");
  memset(full.item.value, 'f', sizeof full.item.value);
  EXPECT_EQ(ptz_parameter_item_array_append(a, &full)->value, std::string(63, 'f'));

  // set_value_by_name keeps the first 63 characters of a longer value; the
  // set operations refuse it, so no caller believes a cut value was stored.
  ptz_parameter_item_array_set_value_by_name(a, "Speed", v64.c_str());
  EXPECT_EQ(stored->value, std::string(63, 'w'));
  GLibLogCapture criticals;
  EXPECT_EQ(ptz_parameter_item_array_set(a, 0, v64.c_str(), nullptr, 1, "r", 2), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_by_name(a, "Speed", v64.c_str(), nullptr, 1, "r", 2), nullptr);
  EXPECT_EQ(criticals.count_containing("strlen(value) < PAR_VAL_MAX_LEN"), 2u);
  EXPECT_STREQ(stored->range, "0-100");
  EXPECT_EQ(ptz_parameter_item_array_set(a, 0, v63.c_str(), nullptr, 1, "r", 2), stored);
  EXPECT_EQ(stored->value, v63);
}

TEST(ParameterItemArray, UpdatesHitTheFirstItemOfAName) {
  ArrayPtr array(ptz_parameter_item_array_new("G"));
  PTZParameterItemArray *a = array.get();
  PTZParameterItem *first = ptz_parameter_item_array_append(a, &Item("Dup", "1", "r1", nullptr, "t2"));
  PTZParameterItem *b = ptz_parameter_item_array_append(a, &Item("B", "b", "rb", nullptr, "tb"));
  PTZParameterItem *second = ptz_parameter_item_array_append(a, &Item("Dup", "2"));
  EXPECT_EQ(ptz_parameter_item_array_get_by_name(a, "Dup"), first);
  // A NULL range clears the range by index and keeps it by name; both keep
  // text2 when given NULL.
  EXPECT_EQ(ptz_parameter_item_array_set(a, 1, "b2", nullptr, 5, nullptr, 6), b);
  EXPECT_EQ(fields(b), "B b2 NULL tb NULL 0,5,6");
  EXPECT_EQ(ptz_parameter_item_array_set_by_name(a, "Dup", "x", nullptr, 7, nullptr, 8), first);
  EXPECT_EQ(fields(first), "Dup x NULL t2 r1 0,7,8");
  EXPECT_STREQ(second->value, "2");
  // The range operations set and clear.
  EXPECT_EQ(ptz_parameter_item_array_set_range(a, 1, "x"), b);
  EXPECT_STREQ(b->range, "x");
  EXPECT_EQ(ptz_parameter_item_array_set_range_by_name(a, "B", nullptr), b);
  EXPECT_EQ(b->range, nullptr);

  // add replaces every field, NULL strings included; name and position stay.
  EXPECT_EQ(ptz_parameter_item_array_add(a, &Item("Dup", "new", nullptr, "t1", nullptr, 40)), first);
  EXPECT_EQ(fields(first), "Dup new t1 NULL NULL 40,41,42");
  PTZParameterItem *d = ptz_parameter_item_array_add(a, &Item("D"));
  EXPECT_EQ(ptz_parameter_item_array_get(a, 3), d);
  ptz_parameter_item_array_remove_by_name(a, "Dup");
  EXPECT_EQ(names(a), (Names{"B", "Dup", "D"}));
  EXPECT_EQ(ptz_parameter_item_array_get(a, 1), second);
  // A NULL name is a name like any other.
  PTZParameterItem *anonymous = ptz_parameter_item_array_append(a, &Item(nullptr));
  EXPECT_EQ(ptz_parameter_item_array_get_by_name(a, nullptr), anonymous);
}

TEST(ParameterItemArray, IndexBoundsAndArgumentChecks) {
  ArrayPtr array = make_array("G", {"A", "B"});
  PTZParameterItemArray *a = array.get();
  GLibLogCapture criticals;
  // An index past count fails silently, as does a removal at count.
  EXPECT_EQ(ptz_parameter_item_array_set(a, 3, "v", nullptr, 0, nullptr, 0), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_range(a, 3, "r"), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_get(a, 2), nullptr);
  ptz_parameter_item_array_remove(a, 2);
  EXPECT_EQ(criticals.count(G_LOG_LEVEL_CRITICAL), 0u);
  // An index equal to count, or an unknown name, names no item: a critical.
  EXPECT_EQ(ptz_parameter_item_array_set(a, 2, "v", nullptr, 0, nullptr, 0), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_range(a, 2, "r"), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_by_name(a, "Z", "v", nullptr, 0, nullptr, 0), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_range_by_name(a, "Z", "r"), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_set_value_by_name(a, "Z", "v"), nullptr);
  EXPECT_EQ(criticals.count_containing("item != NULL"), 5u);
  EXPECT_EQ(names(a), (Names{"A", "B"}));

  EXPECT_EQ(ptz_parameter_item_array_append(nullptr, &Item("A")), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_add(nullptr, &Item("A")), nullptr);
  EXPECT_EQ(ptz_parameter_item_array_remove(nullptr, 0), nullptr);
  EXPECT_EQ(criticals.count_containing("self != NULL"), 3u);
}

TEST(ParameterItemArray, WalksAndRemovalsKeepTheOrder) {
  std::vector<std::string> seen;
  auto until_c = [](PTZParameterItem *item, gpointer data) -> gboolean {
    static_cast<std::vector<std::string> *>(data)->push_back(item->name);
    return strcmp(item->name, "C") != 0;
  };
  ArrayPtr array(ptz_parameter_item_array_new("G"));
  EXPECT_TRUE(ptz_parameter_item_array_map(array.get(), until_c, &seen));
  EXPECT_TRUE(seen.empty());
  array = make_array("G", {"A", "B", "C", "D", "E", "F"});
  EXPECT_FALSE(ptz_parameter_item_array_map(array.get(), until_c, &seen));
  EXPECT_EQ(seen, (Names{"A", "B", "C"}));

  ptz_parameter_item_array_remove(array.get(), 5);  // the tail
  ptz_parameter_item_array_remove(array.get(), 0);  // the head
  EXPECT_EQ(names(array.get()), (Names{"B", "C", "D", "E"}));
  auto c_or_e = [](PTZParameterItem *item, gpointer) -> gboolean {
    return strcmp(item->name, "C") == 0 || strcmp(item->name, "E") == 0;
  };
  EXPECT_TRUE(ptz_parameter_item_array_map_remove(array.get(), c_or_e, nullptr));
  EXPECT_EQ(names(array.get()), (Names{"B", "D"}));
  ptz_parameter_item_array_free(array.get());
  EXPECT_EQ(ptz_parameter_item_array_items(array.get()), 0u);
  // An emptied array can be filled, and emptied, again.
  ptz_parameter_item_array_append(array.get(), &Item("X"));
  ptz_parameter_item_array_append(array.get(), &Item("Y"));
  auto all = [](PTZParameterItem *, gpointer) -> gboolean { return TRUE; };
  EXPECT_TRUE(ptz_parameter_item_array_map_remove(array.get(), all, nullptr));
  EXPECT_EQ(ptz_parameter_item_array_items(array.get()), 0u);
  EXPECT_EQ(array->items, nullptr);
}

TEST(ParameterItemArray, CopyIsIndependentAndOrdered) {
  ArrayPtr empty(ptz_parameter_item_array_new("Empty"));
  ArrayPtr empty_copy(ptz_parameter_item_array_copy(empty.get()));
  empty.reset();
  EXPECT_STREQ(ptz_parameter_item_array_name(empty_copy.get()), "Empty");
  EXPECT_EQ(ptz_parameter_item_array_items(empty_copy.get()), 0u);

  ArrayPtr array = make_array("G", {"A", "B", "C"});
  ptz_parameter_item_array_set(array.get(), 1, "b", "t2", 3, "r", 4);
  ArrayPtr copy(ptz_parameter_item_array_copy(array.get()));
  PTZParameterItem *b = ptz_parameter_item_array_get(copy.get(), 1);
  ptz_parameter_item_array_set_range(array.get(), 1, "changed");
  array.reset();
  EXPECT_EQ(names(copy.get()), (Names{"A", "B", "C"}));
  EXPECT_EQ(fields(b), "B b NULL t2 r 0,3,4");
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
        std::string name = "P" + std::to_string(i), value = std::to_string(t);
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
        ASSERT_STREQ(ptz_parameter_item_array_get(snapshot.get(), k)->name, ("P" + std::to_string(k)).c_str());
    }
  });
  for (auto &thread : threads) thread.join();
  EXPECT_EQ(ptz_parameter_item_array_items(other.get()), guint32(kThreads * kNames / 2));
  Names expected;
  for (int i = 0; i < kNames; i++) expected.push_back("P" + std::to_string(i));
  EXPECT_EQ(names(shared.get()), expected);
}
