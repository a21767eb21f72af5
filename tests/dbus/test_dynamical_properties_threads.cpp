// Run-time properties changed from several threads at once. Under
// ThreadSanitizer run with G_SLICE=always-malloc: GLib's slice allocator (the
// queue's list nodes) passes memory between threads under a lock it cannot see.
// test-labels: threaded
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ptz_dynamical_properties.h"
#include "velmora_test.h"

namespace {

constexpr int kInstances = 3;
constexpr int kWriters = 4;
constexpr int kSetsPerWriter = 2000;

// Announcements per "<instance>/<name>"; no lock, as batches are serialised
// process-wide, which the overlap check verifies.
std::map<std::string, int> counts;
std::atomic<bool> inside{false};
std::atomic<int> overlaps{0};

void on_change(PTZDynamicalProperties *, const gchar *name, gpointer instance) {
  if (inside.exchange(true)) overlaps++;
  counts[std::to_string(GPOINTER_TO_INT(instance)) + "/" + name]++;
  inside = false;
}

}  // namespace

// Every writer sets its own property to a new value each time, so every set is
// a change and must be announced exactly once, whatever clears, freezes and
// reads run on other threads meanwhile.
TEST(DynamicalPropertiesThreads, EveryChangeAnnouncedOnce) {
  PTZDynamicalProperties *instances[kInstances];
  for (int i = 0; i < kInstances; i++) {
    instances[i] = ptz_dynamical_properties_new();
    g_signal_connect(instances[i], "notify_change", G_CALLBACK(on_change), GINT_TO_POINTER(i));
  }

  std::atomic<bool> writing{true};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; w++)
    threads.emplace_back([&, w] {
      std::string name = "w" + std::to_string(w);
      for (int n = 0; n < kSetsPerWriter; n++) {
        GValue *value = g_new0(GValue, 1);
        g_value_set_int(g_value_init(value, G_TYPE_INT), n);
        ptz_dynamical_properties_set(instances[n % kInstances], name.c_str(), value);
      }
    });
  // Freezes, reads and clears on all instances while the writers run.
  std::thread meddler([&] {
    for (int round = 0; writing; round++) {
      PTZDynamicalProperties *self = instances[round % kInstances];
      ptz_dynamical_properties_freeze_notify(self);
      g_free(ptz_dynamical_properties_set_from_string(self, "shared:string:x"));
      ptz_dynamical_properties_get(self, "w0");
      if (round % 7 == 0) ptz_dynamical_properties_clear(self);
      ptz_dynamical_properties_thaw_notify(self);
    }
  });
  for (auto &t : threads) t.join();
  writing = false;
  meddler.join();

  EXPECT_EQ(overlaps, 0);
  for (int i = 0; i < kInstances; i++) {
    for (int w = 0; w < kWriters; w++) {
      int expected = kSetsPerWriter / kInstances + (i < kSetsPerWriter % kInstances ? 1 : 0);
      EXPECT_EQ((counts[std::to_string(i) + "/w" + std::to_string(w)]), expected) << i << " " << w;
    }
    EXPECT_EQ(instances[i]->nqueue.freeze_count, 0);
    EXPECT_EQ(instances[i]->nqueue.names, nullptr);
    g_object_unref(instances[i]);
  }
}
