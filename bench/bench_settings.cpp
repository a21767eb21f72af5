// Settings queries against their floor: the same key looked up in a plain
// GKeyFile under a mutex and converted the same way. Both answer with a
// private copy, as the queries do.
#include <glib.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "bench/bench_ratio.h"
#include "ptz_settings.h"

namespace {

using velmora::bench::Clock;
using velmora::bench::Goal;

// A configuration of a typical size: a driver manager group and a few
// numbered driver and channel groups.
std::string configuration() {
  std::string text = "[PTZDriverManager]\nNbrOfDrivers=4\nName=\"manager\"\n";
  for (int driver = 1; driver <= 4; driver++) {
    text += "[Driver" + std::to_string(driver) + "]\n";
    for (int key = 0; key < 20; key++)
      text += "Key" + std::to_string(key) + "=" + std::to_string(driver * 100 + key) + "\n";
  }
  return text;
}

struct Floor {
  GMutex lock;
  GKeyFile *file = g_key_file_new();
  Floor() {
    g_mutex_init(&lock);
    std::string text = configuration();
    g_key_file_load_from_data(file, text.data(), text.size(), G_KEY_FILE_NONE, nullptr);
  }
  ~Floor() {
    g_key_file_free(file);
    g_mutex_clear(&lock);
  }
  gchar *lookup(const char *group, const char *key) {
    g_mutex_lock(&lock);
    gchar *value = g_key_file_get_string(file, group, key, nullptr);
    g_mutex_unlock(&lock);
    return value;
  }
};

void BM_KeyFileInt(benchmark::State &state) {
  Floor floor;
  gint64 sum = 0;
  for (auto _ : state) {
    gchar *text = floor.lookup("Driver3", "Key17");
    gchar *end = nullptr;
    gint64 value = text ? g_ascii_strtoll(text, &end, 0) : 0;
    sum += (end > text && value >= G_MININT32 && value <= G_MAXINT32) ? value : 0;
    g_free(text);
  }
  if (sum != gint64(state.iterations()) * 317) state.SkipWithError("wrong value");
}
BENCHMARK(BM_KeyFileInt);

void BM_KeyFileString(benchmark::State &state) {
  Floor floor;
  for (auto _ : state) {
    gchar *text = floor.lookup("Driver3", "Key17");
    benchmark::DoNotOptimize(text);
    g_free(text);
  }
}
BENCHMARK(BM_KeyFileString);

void BM_SettingsGetInt(benchmark::State &state) {
  gint64 sum = 0;
  for (auto _ : state) {
    gint value = 0;
    ptz_settings_get_int("Driver", 3, "Key17", &value);
    sum += value;
  }
  if (sum != gint64(state.iterations()) * 317) state.SkipWithError("wrong value");
}
BENCHMARK(BM_SettingsGetInt);

void BM_SettingsGetCustomInt(benchmark::State &state) {
  gint64 sum = 0;
  for (auto _ : state) {
    gint value = 0;
    ptz_settings_get_custom_int("Driver3", "Key17", &value);
    sum += value;
  }
  if (sum != gint64(state.iterations()) * 317) state.SkipWithError("wrong value");
}
BENCHMARK(BM_SettingsGetCustomInt);

void BM_SettingsGetString(benchmark::State &state) {
  for (auto _ : state) {
    gchar *text = ptz_settings_get_custom_string("Driver3", "Key17");
    benchmark::DoNotOptimize(text);
    g_free(text);
  }
}
BENCHMARK(BM_SettingsGetString);

}  // namespace

int main(int argc, char **argv) {
  // The settings store holds the same configuration, loaded from a file.
  char path[] = "/tmp/velmora-bench-settings.XXXXXX";
  int fd = mkstemp(path);
  std::string text = configuration();
  if (fd < 0 || write(fd, text.data(), text.size()) != ssize_t(text.size())) return 1;
  close(fd);
  PTZSettingsFile files[] = {{path, TRUE}, {nullptr, FALSE}};
  gboolean loaded = ptz_settings_load_config_gkf(files, nullptr);
  unlink(path);
  if (!loaded) return 1;
  int result = velmora::bench::run_and_report(
      argc, argv,
      {{"Settings query, 32-bit integer of a numbered group, against a locked GKeyFile lookup", "BM_SettingsGetInt",
        "BM_KeyFileInt", Goal::kAtMost, 2},
       {"Settings query, 32-bit integer by full group name, against a locked GKeyFile lookup",
        "BM_SettingsGetCustomInt", "BM_KeyFileInt", Goal::kAtMost, 2},
       {"Settings query, string, against a locked GKeyFile lookup", "BM_SettingsGetString", "BM_KeyFileString",
        Goal::kAtMost, 2}});
  return result;
}
