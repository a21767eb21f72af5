// The layout of a status-cache group's shared-memory object, and the checks
// that every process applies to what it reads from one: another process may
// have written anything into it, so every count, offset, size and key text is
// checked before it is used.
#pragma once

#include <errno.h>
#include <pthread.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <unistd.h>

#include "common/ptz_unique_fd.h"
#include "durnik.h"

// Internal to the library: none of it is exported.
#pragma GCC visibility push(hidden)
namespace durnik {

constexpr uint32_t kMagic = 0x4b4e5244;  // "DRNK"
constexpr uint32_t kVersion = 2;
constexpr uint32_t kKeySlots = 128;
constexpr size_t kKeyField = SC_KEY_MAX + 1;

struct Header {
  uint32_t magic;
  uint32_t version;
  uint64_t data_size;
  uint32_t key_slots;
  uint32_t key_count;
  uint64_t data_used;
  uint32_t removed;  // set before a writer unlinks the object
  uint32_t reserved;
  uint64_t sequence;  // odd while a writer changes the directory or the values
  pthread_mutex_t lock;
};

struct Slot {
  char key[kKeyField];
  uint64_t offset;
  uint64_t size;
  int32_t type;
  uint32_t reserved;
};

constexpr size_t kSlotsOffset = (sizeof(Header) + 7) & ~size_t(7);
constexpr size_t kDataOffset = kSlotsOffset + kKeySlots * sizeof(Slot);
static_assert(sizeof(Slot) % 8 == 0 && kDataOffset % 8 == 0);

inline uint64_t object_size(uint64_t data_size) { return kDataOffset + data_size; }

inline int fail(int error) {
  errno = error;
  return -1;
}

using velmora::UniqueFd;

// Copies exactly `length` bytes from `offset`; false when the object ends
// before (it shrank) or cannot be read.
inline bool pread_all(int fd, void *buffer, size_t length, uint64_t offset) {
  auto *p = static_cast<char *>(buffer);
  while (length > 0) {
    ssize_t n = pread(fd, p, length, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= size_t(n);
    offset += uint64_t(n);
  }
  return true;
}

// The fixed part of a header, checked against the object's size.
inline bool layout_sound(const Header &h, uint64_t object_bytes) {
  return h.magic == kMagic && h.version == kVersion && h.key_slots == kKeySlots && h.data_size > 0 &&
         h.data_size <= SC_GROUP_SIZE_MAX && object_size(h.data_size) == object_bytes;
}

// The variable part, for a group of `data_size` bytes.
inline bool contents_sound(const Header &h, uint64_t data_size) {
  return h.data_size == data_size && h.key_count <= kKeySlots && h.data_used <= data_size;
}

inline bool slot_sound(const Slot &slot, uint64_t data_size) {
  return slot.size > 0 && slot.size <= data_size && slot.offset <= data_size - slot.size;
}

// Index of the slot holding `key` (of `length` bytes) among `slots`, trying
// `hint` first (callers usually list keys in the order they were added), or
// -1. Comparing the terminating NUL too means a match is the same text, and
// no more than a slot's key field is ever read.
inline int find_slot(const Slot *slots, uint32_t count, const char *key, size_t length, uint32_t hint) {
  if (hint < count && memcmp(slots[hint].key, key, length + 1) == 0) return int(hint);
  for (uint32_t i = 0; i < count; i++)
    if (memcmp(slots[i].key, key, length + 1) == 0) return int(i);
  return -1;
}

// Counts and checks the caller's entries, noting each key's length; -1 with
// errno when unusable.
inline int count_entries(sc_entry **entries, uint8_t *key_lengths) {
  if (entries == nullptr) return fail(EINVAL);
  int n = 0;
  for (; entries[n] != nullptr; n++) {
    if (n >= SC_ENTRIES_MAX) return fail(E2BIG);
    const sc_entry *e = entries[n];
    size_t key_length = e->key ? strnlen(e->key, kKeyField) : 0;
    if (key_length == 0 || key_length > SC_KEY_MAX || e->size == 0 || e->size > SC_GROUP_SIZE_MAX ||
        e->data == nullptr || e->type <= 0)
      return fail(EINVAL);
    key_lengths[n] = uint8_t(key_length);
  }
  return n;
}

// The caller's entries, checked, with their key lengths.
struct Request {
  sc_entry **entries;
  int count;
  uint8_t lengths[SC_ENTRIES_MAX];
};

}  // namespace durnik
#pragma GCC visibility pop
