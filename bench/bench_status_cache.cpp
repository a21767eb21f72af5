// Publishing and reading a full Position group (47 values) through the status
// cache, against its floor: a memcpy of the same bytes into shared memory
// under a process-shared lock. Reports the ratios (goal for the update: 20 or less).
#include <pthread.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "bench/bench_ratio.h"
#include "ptz_status_cache.h"
#ifdef VELMORA_PLATFORM_BUNDLED
#include "platform/durnik/durnik_testing.h"
#endif

namespace {

constexpr guint32 kValues = 47;

// The caller's variables of a Position group, in the sizes of its values.
struct PositionValues {
  union {
    gint32 integer;
    gfloat real;
    guint32 timeval[2];
    gint64 timespec[2];  // 16-byte time values: 64-bit seconds and nanoseconds
  } v[kValues] = {};
};

// Bytes a full Position group carries: 22 four-byte values, one 8-byte time
// value and 24 16-byte time values.
constexpr size_t kPositionBytes = 22 * 4 + 8 + 24 * 16;

// The floor: the same bytes copied into shared memory under a process-shared
// robust mutex, the least any shared status cache has to do.
struct Floor {
  pthread_mutex_t *lock;
  unsigned char *shared;
  unsigned char local[kPositionBytes] = {};

  Floor() {
    void *memory = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    lock = static_cast<pthread_mutex_t *>(memory);
    shared = static_cast<unsigned char *>(memory) + 64;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(lock, &attr);
    pthread_mutexattr_destroy(&attr);
  }
  ~Floor() { munmap(lock, 4096); }
};

void BM_FloorWrite(benchmark::State &state) {
  Floor floor;
  gint32 n = 0;
  for (auto _ : state) {
    memcpy(floor.local, &++n, sizeof n);
    pthread_mutex_lock(floor.lock);
    memcpy(floor.shared, floor.local, kPositionBytes);
    pthread_mutex_unlock(floor.lock);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FloorWrite);

void BM_FloorRead(benchmark::State &state) {
  Floor floor;
  for (auto _ : state) {
    pthread_mutex_lock(floor.lock);
    memcpy(floor.local, floor.shared, kPositionBytes);
    pthread_mutex_unlock(floor.lock);
    benchmark::DoNotOptimize(floor.local);
  }
}
BENCHMARK(BM_FloorRead);

PTZStatusCacheGroup *full_position_group(PositionValues *values) {
  PTZStatusCacheGroup *group = ptz_status_cache_setup_group(PTZ_SC_GROUP_POSITION, 0, kValues);
  for (guint32 p = 0; p < kValues; p++) ptz_status_cache_add_param(group, p, &values->v[p]);
  return group;
}

void BM_UpdatePositionGroup(benchmark::State &state) {
  PositionValues values;
  PTZStatusCacheGroup *group = full_position_group(&values);
  bool ok = ptz_status_cache_update_group(group);
  for (auto _ : state) {
    values.v[0].real += 1.0f;
    ok &= ptz_status_cache_update_group(group) != FALSE;
  }
  if (!ok) state.SkipWithError("update failed");
  ptz_status_cache_free_group(group);
}
BENCHMARK(BM_UpdatePositionGroup);

void BM_FetchPositionGroup(benchmark::State &state) {
  PositionValues values;
  PTZStatusCacheGroup *group = full_position_group(&values);
  bool ok = ptz_status_cache_update_group(group);
  for (auto _ : state) {
    ok &= ptz_status_cache_fetch_group(group) != FALSE;
    benchmark::DoNotOptimize(values);
  }
  if (!ok) state.SkipWithError("fetch failed");
  ptz_status_cache_free_group(group);
}
BENCHMARK(BM_FetchPositionGroup);

}  // namespace

int main(int argc, char **argv) {
  // Groups of this run only, under a prefix of its own.
  std::string prefix = "/velmora-bench." + std::to_string(getpid()) + ".";
  setenv("DURNIK_PREFIX", prefix.c_str(), 1);
  using velmora::bench::Goal;
  int result = velmora::bench::run_and_report(
      argc, argv,
      {{"Status cache, full Position group update, against a locked memcpy into shared memory",
        "BM_UpdatePositionGroup", "BM_FloorWrite", Goal::kAtMost, 20},
       {"Status cache, full Position group fetch, against a locked memcpy out of shared memory",
        "BM_FetchPositionGroup", "BM_FloorRead"}});
#ifdef VELMORA_PLATFORM_BUNDLED
  durnik_testing_remove_all();
#endif
  return result;
}
