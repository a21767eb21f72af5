#include "durnik_reader.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "durnik_accounts.h"

namespace durnik {
namespace {

// A reader gives up when writers kept changing the group for this long.
constexpr int64_t kReadPatienceNs = 1000000000;

// What one consistent read of a group found.
struct Snapshot {
  Header header;
  std::vector<Slot> slots;
  std::vector<unsigned char> values;  // the storage from `first` on
  uint64_t first = 0;
};

void wait_for_writer(int attempt) {
  if (attempt < 64) {
    sched_yield();
  } else {
    struct timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
  }
}

// Keeps the copies a reader makes with pread (system calls, which the
// language's memory model does not see) in order with its reads of the
// sequence counter. ThreadSanitizer models no stand-alone fence, and sees no
// system call's accesses either, so it goes without.
inline void order_copies() {
#if !defined(__SANITIZE_THREAD__)
  std::atomic_thread_fence(std::memory_order_acquire);
#endif
}

int64_t monotonic_ns() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Copies the header, the directory and the values the request names while no
// writer changed the group; `where[i]` is the slot of entry i or -1.
// EAGAIN when writers kept changing it, EIO when the object is cut short.
int snapshot(const Reader &reader, const Request &request, Snapshot *s, int32_t *where) {
  const int64_t deadline = monotonic_ns() + kReadPatienceNs;
  for (int attempt = 0;; attempt++) {
    if (attempt > 0) {
      if (monotonic_ns() > deadline) return fail(EAGAIN);
      wait_for_writer(attempt);
    }
    Header &h = s->header;
    if (!pread_all(reader.fd.get(), &h, sizeof h, 0)) return fail(EIO);
    const uint64_t sequence = h.sequence;
    if ((sequence & 1) != 0) continue;
    order_copies();
    // Until the sequence is confirmed these may be half-written: bounded
    // here, judged after.
    s->slots.resize(std::min(h.key_count, kKeySlots));
    if (!pread_all(reader.fd.get(), s->slots.data(), s->slots.size() * sizeof(Slot), kSlotsOffset)) return fail(EIO);
    uint64_t first = UINT64_MAX, end = 0;
    uint32_t hint = 0;
    for (int i = 0; i < request.count; i++) {
      const sc_entry *e = request.entries[i];
      where[i] = find_slot(s->slots.data(), uint32_t(s->slots.size()), e->key, request.lengths[i], hint);
      if (where[i] < 0) continue;
      const Slot &slot = s->slots[size_t(where[i])];
      hint = uint32_t(where[i]) + 1;
      if (!slot_sound(slot, std::min<uint64_t>(h.data_size, SC_GROUP_SIZE_MAX))) continue;
      first = std::min(first, slot.offset);
      end = std::max(end, slot.offset + slot.size);
    }
    s->first = first;
    s->values.resize(end > first ? end - first : 0);
    if (!s->values.empty() && !pread_all(reader.fd.get(), s->values.data(), s->values.size(), kDataOffset + first))
      return fail(EIO);
    order_copies();
    uint64_t again = 0;
    if (!pread_all(reader.fd.get(), &again, sizeof again, offsetof(Header, sequence))) return fail(EIO);
    if (again == sequence) return 0;
  }
}

}  // namespace

ReaderPtr open_reader(const std::string &object) {
  auto reader = std::make_shared<Reader>();
  // Non-blocking: a FIFO put under the name must not hold the open; what
  // is not a regular file is refused below.
  reader->fd.reset(shm_open(object.c_str(), O_RDONLY | O_NONBLOCK, 0));
  if (!reader->fd.valid()) return nullptr;
  struct stat st;
  if (fstat(reader->fd.get(), &st) < 0) return nullptr;
  if (!trusted(st)) {
    errno = EACCES;
    return nullptr;
  }
  reader->object_bytes = uint64_t(st.st_size);
  return reader;
}

int read_values(const Reader &reader, const Request &request, int flag, Header *seen) {
  thread_local Snapshot s;
  int32_t where[SC_ENTRIES_MAX];
  if (snapshot(reader, request, &s, where) < 0) return -1;
  const Header &h = s.header;
  if (h.removed != 0) return fail(ESTALE);
  if (!layout_sound(h, reader.object_bytes) || !contents_sound(h, h.data_size)) return fail(EIO);
  for (int i = 0; i < request.count; i++) {
    const sc_entry *e = request.entries[i];
    if (where[i] < 0) {
      if (flag == SC_GET_ALL) return fail(ENOENT);
      continue;
    }
    const Slot &slot = s.slots[size_t(where[i])];
    if (!slot_sound(slot, h.data_size)) return fail(EIO);
    if (slot.size != e->size || slot.type != e->type) return fail(EINVAL);
  }
  if (seen != nullptr) *seen = h;
  int read = 0;
  for (int i = 0; i < request.count; i++) {
    if (where[i] < 0) continue;
    const Slot &slot = s.slots[size_t(where[i])];
    memcpy(request.entries[i]->data, s.values.data() + (slot.offset - s.first), slot.size);
    read++;
  }
  return read;
}

}  // namespace durnik
