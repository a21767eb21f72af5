// test-labels: threaded
// Queries on several threads while another thread reloads both stores.

#include <atomic>
#include <thread>

#include "settings_test.h"

namespace {

using namespace velmora::testing;

gboolean count_key(const gchar *, const gchar *value, gpointer data) {
  if (value != nullptr) ++*static_cast<int *>(data);
  return TRUE;
}

bool is_generation(const std::string &value, const std::string &prefix = "") {
  return value == prefix + "1" || value == prefix + "2";
}

TEST(SettingsThreads, QueriesDuringReloadSeeOldOrNewContents) {
  TempDir dir;
  // Two generations of the same settings; every value names its generation.
  std::string kf[2], st[2];
  for (int g = 0; g < 2; g++) {
    std::string n = std::to_string(g + 1);
    kf[g] = dir.write("gen" + n + ".conf", "[Driver1]\nGeneration=" + n + "\nName=\"kf" + n + "\"\n");
    st[g] = dir.write("gen" + n + ".cfg", "Lens {\n  Generation = " + n + "\n}\n");
  }
  ASSERT_TRUE(ptz_settings_load_config_gkf(FileList{{kf[0], TRUE}}, nullptr));
  ASSERT_TRUE(ptz_settings_load_config(FileList{{st[0], TRUE}}, nullptr));

  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; t++) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        if (!is_generation(take(ptz_settings_get_string("Driver", 1, "Generation")))) bad++;
        gint generation = 0;
        if (!ptz_settings_get_custom_int("Lens", "Generation", &generation) ||
            !is_generation(std::to_string(generation)))
          bad++;
        if (!is_generation(take(ptz_settings_get_vp("root.Driver1.Name")), "kf")) bad++;
        int visited = 0;
        if (!ptz_settings_iterate_group("Driver", 1, &visited, count_key) || visited != 2) bad++;
      }
    });
  }
  for (int round = 0; round < 200; round++) {
    EXPECT_TRUE(ptz_settings_load_config_gkf(FileList{{kf[round % 2], TRUE}}, nullptr));
    EXPECT_TRUE(ptz_settings_load_config(FileList{{st[round % 2], TRUE}}, nullptr));
  }
  stop = true;
  for (auto &reader : readers) reader.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
