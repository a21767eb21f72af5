// test-labels: threaded
// Queries on several threads while another thread reloads both stores.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ptz_settings.h"
#include "velmora_test.h"

namespace {

using velmora::testing::TempDir;

gboolean count_key(const gchar *, const gchar *value, gpointer data) {
  if (value != nullptr) static_cast<std::atomic<int> *>(data)->fetch_add(1);
  return TRUE;
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
  PTZSettingsFile first_kf[] = {{kf[0].c_str(), TRUE}, {nullptr, FALSE}};
  PTZSettingsFile first_st[] = {{st[0].c_str(), TRUE}, {nullptr, FALSE}};
  ASSERT_TRUE(ptz_settings_load_config_gkf(first_kf, nullptr));
  ASSERT_TRUE(ptz_settings_load_config(first_st, nullptr));

  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; t++) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        gint generation = 0;
        if (!ptz_settings_get_int("Driver", 1, "Generation", &generation) ||
            (generation != 1 && generation != 2))
          bad++;
        if (!ptz_settings_get_custom_int("Lens", "Generation", &generation) ||
            (generation != 1 && generation != 2))
          bad++;
        gchar *name = ptz_settings_get_vp("root.Driver1.Name");
        if (name == nullptr || (std::string(name) != "kf1" && std::string(name) != "kf2")) bad++;
        g_free(name);
        std::atomic<int> visited{0};
        if (!ptz_settings_iterate_group("Driver", 1, &visited, count_key) || visited != 2) bad++;
      }
    });
  }
  for (int round = 0; round < 200; round++) {
    int g = round % 2;
    PTZSettingsFile kf_files[] = {{kf[g].c_str(), TRUE}, {nullptr, FALSE}};
    PTZSettingsFile st_files[] = {{st[g].c_str(), TRUE}, {nullptr, FALSE}};
    EXPECT_TRUE(ptz_settings_load_config_gkf(kf_files, nullptr));
    EXPECT_TRUE(ptz_settings_load_config(st_files, nullptr));
  }
  stop = true;
  for (auto &reader : readers) reader.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
