// Status cache stand-in: each group is one POSIX shared memory object holding
// a header (with a process-shared robust mutex), a key directory and the value
// storage. Any process may have written the object, so every count, offset,
// size and key text read from it is checked before it is used.
#include "durnik.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "durnik_testing.h"

namespace {

constexpr uint32_t kMagic = 0x4b4e5244;  // "DRNK"
constexpr uint32_t kVersion = 1;
constexpr uint32_t kKeySlots = 128;
constexpr size_t kKeyField = SC_KEY_MAX + 1;
constexpr size_t kNameMax = 200;
constexpr int kLockTimeoutSeconds = 5;
constexpr int kInitWaitMs = 2000;
constexpr const char *kDefaultPrefix = "/durnik.";

struct Header {
  uint32_t magic;  // written last by the creator: the group is ready
  uint32_t version;
  uint64_t data_size;
  uint32_t key_slots;
  uint32_t key_count;
  uint64_t data_used;
  uint32_t removed;  // set before the object is unlinked
  uint32_t reserved;
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

size_t object_size(uint64_t data_size) { return kDataOffset + data_size; }

// One process's mapping of one group. The fields copied at open never change
// for a sound group; they are compared with the header on every access.
struct Mapping {
  void *base = MAP_FAILED;
  size_t length = 0;
  uint64_t data_size = 0;

  ~Mapping() {
    if (base != MAP_FAILED) munmap(base, length);
  }
  Header *header() const { return static_cast<Header *>(base); }
  Slot *slots() const { return reinterpret_cast<Slot *>(static_cast<char *>(base) + kSlotsOffset); }
  unsigned char *data() const { return static_cast<unsigned char *>(base) + kDataOffset; }
  bool removed() const { return __atomic_load_n(&header()->removed, __ATOMIC_ACQUIRE) != 0; }
};
using MappingPtr = std::shared_ptr<Mapping>;

int fail(int error) {
  errno = error;
  return -1;
}

// --- names ---------------------------------------------------------------

const std::string &prefix() {
  static const std::string value = [] {
    const char *env = getenv("DURNIK_PREFIX");
    if (env == nullptr || env[0] != '/' || strchr(env + 1, '/') != nullptr ||
        strlen(env) > 100)
      return std::string(kDefaultPrefix);
    return std::string(env);
  }();
  return value;
}

bool object_name(const char *name, std::string *out) {
  if (name == nullptr) return false;
  size_t length = strnlen(name, kNameMax + 1);
  if (length == 0 || length > kNameMax || memchr(name, '/', length) != nullptr) return false;
  *out = prefix();
  out->append(name, length);
  return true;
}

// --- fault injection -----------------------------------------------------

std::atomic<unsigned> fail_nth[3];
std::atomic<int> fail_error[3];

bool injected_failure(durnik_testing_call call) {
  unsigned n = fail_nth[call].load();
  while (n > 0) {
    if (fail_nth[call].compare_exchange_weak(n, n - 1)) {
      if (n == 1) {
        errno = fail_error[call].load();
        return true;
      }
      return false;
    }
  }
  return false;
}

// --- mappings ------------------------------------------------------------

std::mutex cache_mutex;
std::unordered_map<std::string, MappingPtr> *cache = new std::unordered_map<std::string, MappingPtr>();

// Maps an existing object and checks its fixed layout; waits a little for a
// creator that is still initialising it.
MappingPtr open_object(const std::string &object) {
  int fd = shm_open(object.c_str(), O_RDWR, 0);
  if (fd < 0) return nullptr;
  struct stat st;
  for (int waited = 0;; waited++) {
    if (fstat(fd, &st) < 0) {
      int e = errno;
      close(fd);
      errno = e;
      return nullptr;
    }
    // The object's size is compared as the 64-bit number it is: size_t
    // keeps only its low 32 bits on 32-bit systems.
    if (st.st_size >= off_t(sizeof(Header))) break;
    if (waited >= kInitWaitMs) {
      close(fd);
      errno = EIO;
      return nullptr;
    }
    usleep(1000);
  }
  if (uint64_t(st.st_size) > object_size(SC_GROUP_SIZE_MAX)) {
    close(fd);
    errno = EIO;
    return nullptr;
  }
  auto mapping = std::make_shared<Mapping>();
  mapping->length = size_t(st.st_size);
  mapping->base = mmap(nullptr, mapping->length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  int e = errno;
  close(fd);
  if (mapping->base == MAP_FAILED) {
    errno = e;
    return nullptr;
  }
  Header *h = mapping->header();
  for (int waited = 0; __atomic_load_n(&h->magic, __ATOMIC_ACQUIRE) != kMagic; waited++) {
    if (waited >= kInitWaitMs) {
      errno = EIO;
      return nullptr;
    }
    usleep(1000);
  }
  uint64_t data_size = h->data_size;
  if (h->version != kVersion || h->key_slots != kKeySlots || data_size == 0 ||
      data_size > SC_GROUP_SIZE_MAX || object_size(data_size) != mapping->length) {
    errno = EIO;
    return nullptr;
  }
  if (mapping->removed()) {
    errno = ENOENT;
    return nullptr;
  }
  mapping->data_size = data_size;
  return mapping;
}

MappingPtr lookup(const std::string &object) {
  {
    std::lock_guard<std::mutex> guard(cache_mutex);
    auto found = cache->find(object);
    if (found != cache->end()) {
      if (!found->second->removed()) return found->second;
      cache->erase(found);
    }
  }
  MappingPtr mapping = open_object(object);
  if (mapping) {
    std::lock_guard<std::mutex> guard(cache_mutex);
    (*cache)[object] = mapping;
  }
  return mapping;
}

void forget(const std::string &object) {
  std::lock_guard<std::mutex> guard(cache_mutex);
  cache->erase(object);
}

// Holds a group's lock; a lock left by a process that died is taken over (the
// values it was writing may be torn, the layout is checked anyway).
class GroupLock {
 public:
  explicit GroupLock(const Mapping &m) : lock_(&m.header()->lock) {
    int r = pthread_mutex_trylock(lock_);
    if (r == EBUSY) {
      struct timespec deadline;
      clock_gettime(CLOCK_REALTIME, &deadline);
      deadline.tv_sec += kLockTimeoutSeconds;
      r = pthread_mutex_timedlock(lock_, &deadline);
    }
    if (r == EOWNERDEAD) r = pthread_mutex_consistent(lock_);
    if (r == 0) {
      held_ = true;
    } else {
      error_ = r == ETIMEDOUT ? ETIMEDOUT : EIO;
    }
  }
  ~GroupLock() {
    if (held_) pthread_mutex_unlock(lock_);
  }
  GroupLock(const GroupLock &) = delete;
  GroupLock &operator=(const GroupLock &) = delete;
  bool held() const { return held_; }
  // Leaves the lock held when this guard goes away.
  void release() { held_ = false; }
  int error() const { return error_; }

 private:
  pthread_mutex_t *lock_;
  bool held_ = false;
  int error_ = 0;
};

// The header's variable fields, checked; called with the lock held.
bool header_sound(const Mapping &m) {
  const Header *h = m.header();
  return h->magic == kMagic && h->version == kVersion && h->key_slots == kKeySlots &&
         h->data_size == m.data_size && h->key_count <= kKeySlots && h->data_used <= m.data_size;
}

bool slot_sound(const Mapping &m, const Slot &slot) {
  return slot.size > 0 && slot.size <= m.data_size && slot.offset <= m.data_size - slot.size;
}

// Index of the slot holding `key` (of `length` bytes) among the first
// `count`, trying `hint` first (callers usually list keys in the order they
// were added), or -1. Comparing the terminating NUL too means a match is the
// same text, and no more than a slot's key field is ever read.
int find_slot(const Mapping &m, uint32_t count, const char *key, size_t length, uint32_t hint) {
  const Slot *slots = m.slots();
  if (hint < count && memcmp(slots[hint].key, key, length + 1) == 0) return int(hint);
  for (uint32_t i = 0; i < count; i++)
    if (memcmp(slots[i].key, key, length + 1) == 0) return int(i);
  return -1;
}

// Counts and checks the caller's entries, noting each key's length; -1 with
// errno when unusable.
int count_entries(sc_entry **entries, uint8_t *key_lengths) {
  if (entries == nullptr) return fail(EINVAL);
  int n = 0;
  for (; entries[n] != nullptr; n++) {
    if (n >= SC_ENTRIES_MAX) return fail(E2BIG);
    const sc_entry *e = entries[n];
    size_t key_length = e->key ? strnlen(e->key, kKeyField) : 0;
    if (key_length == 0 || key_length > SC_KEY_MAX || e->size == 0 ||
        e->size > SC_GROUP_SIZE_MAX || e->data == nullptr || e->type <= 0)
      return fail(EINVAL);
    key_lengths[n] = uint8_t(key_length);
  }
  return n;
}

uint64_t align_for(uint64_t offset, uint64_t size) {
  uint64_t alignment = size >= 8 ? 8 : size >= 4 ? 4 : size >= 2 ? 2 : 1;
  return (offset + alignment - 1) & ~(alignment - 1);
}

// Opens the group and takes its lock; the result's mapping is null on failure.
struct Access {
  MappingPtr mapping;
  std::optional<GroupLock> lock;
};

int access_group(const char *name, Access *access) {
  // Reused between calls: set and get are the hot paths of publishers.
  thread_local std::string object;
  if (!object_name(name, &object)) return fail(EINVAL);
  access->mapping = lookup(object);
  if (!access->mapping) return -1;
  access->lock.emplace(*access->mapping);
  if (!access->lock->held()) return fail(access->lock->error());
  if (!header_sound(*access->mapping)) return fail(EIO);
  return 0;
}

int create_object(const std::string &object, uint64_t size) {
  int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return -1;
  fchmod(fd, 0666);  // readable and writable by every process, whatever the umask
  size_t length = object_size(size);
  if (ftruncate(fd, off_t(length)) < 0) {
    int e = errno;
    close(fd);
    shm_unlink(object.c_str());
    return fail(e);
  }
  auto mapping = std::make_shared<Mapping>();
  mapping->length = length;
  mapping->data_size = size;
  mapping->base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  int e = errno;
  close(fd);
  if (mapping->base == MAP_FAILED) {
    shm_unlink(object.c_str());
    return fail(e);
  }
  Header *h = mapping->header();
  h->version = kVersion;
  h->data_size = size;
  h->key_slots = kKeySlots;
  h->key_count = 0;
  h->data_used = 0;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(&h->lock, &attr);
  pthread_mutexattr_destroy(&attr);
  __atomic_store_n(&h->magic, kMagic, __ATOMIC_RELEASE);
  std::lock_guard<std::mutex> guard(cache_mutex);
  (*cache)[object] = mapping;
  return 0;
}

}  // namespace

extern "C" {

int sc_create_group(const char *name, int64_t size, int flag) {
  if (injected_failure(DURNIK_TESTING_CREATE)) return -1;
  std::string object;
  if (!object_name(name, &object) || size <= 0 || size > SC_GROUP_SIZE_MAX ||
      (flag != SC_CREATE_EXCLUSIVE && flag != SC_CREATE_OPEN))
    return fail(EINVAL);
  if (create_object(object, uint64_t(size)) == 0) return 0;
  if (errno != EEXIST || flag == SC_CREATE_EXCLUSIVE) return -1;
  // Open mode: an existing, sound group is success.
  return lookup(object) ? 0 : -1;
}

int sc_set_group(const char *name, sc_entry **entries, int flag) {
  if (injected_failure(DURNIK_TESTING_SET)) return -1;
  if (flag != SC_SET_EXISTING && flag != SC_SET_ADD) return fail(EINVAL);
  uint8_t lengths[SC_ENTRIES_MAX];
  int n = count_entries(entries, lengths);
  if (n < 0) return -1;
  Access access;
  if (access_group(name, &access) < 0) return -1;
  const Mapping &m = *access.mapping;
  Header *h = m.header();
  Slot *slots = m.slots();

  // First resolve every key (adding new ones past the visible directory), so
  // that a refused call changes nothing.
  uint32_t where[SC_ENTRIES_MAX];
  uint32_t count = h->key_count;
  uint64_t used = h->data_used;
  uint32_t hint = 0;
  for (int i = 0; i < n; i++) {
    const sc_entry *e = entries[i];
    int found = find_slot(m, count, e->key, lengths[i], hint);
    if (found < 0) {
      if (flag != SC_SET_ADD) return fail(ENOENT);
      uint64_t offset = align_for(used, e->size);
      if (count >= kKeySlots || offset > m.data_size || e->size > m.data_size - offset)
        return fail(ENOSPC);
      Slot &slot = slots[count];
      memset(&slot, 0, sizeof slot);
      memcpy(slot.key, e->key, lengths[i]);
      slot.offset = offset;
      slot.size = e->size;
      slot.type = e->type;
      used = offset + e->size;
      found = int(count++);
    } else if (!slot_sound(m, slots[found])) {
      return fail(EIO);
    } else if (slots[found].size != e->size || slots[found].type != e->type) {
      return fail(EINVAL);
    }
    where[i] = uint32_t(found);
    hint = uint32_t(found) + 1;
  }
  for (int i = 0; i < n; i++) memcpy(m.data() + slots[where[i]].offset, entries[i]->data, entries[i]->size);
  h->data_used = used;
  h->key_count = count;
  return n;
}

int sc_get_group(const char *name, sc_entry **entries, int flag) {
  if (injected_failure(DURNIK_TESTING_GET)) return -1;
  if (flag != SC_GET_ALL && flag != SC_GET_PRESENT) return fail(EINVAL);
  uint8_t lengths[SC_ENTRIES_MAX];
  int n = count_entries(entries, lengths);
  if (n < 0) return -1;
  Access access;
  if (access_group(name, &access) < 0) return -1;
  const Mapping &m = *access.mapping;
  const Slot *slots = m.slots();
  uint32_t count = m.header()->key_count;

  int32_t where[SC_ENTRIES_MAX];
  uint32_t hint = 0;
  for (int i = 0; i < n; i++) {
    const sc_entry *e = entries[i];
    int found = find_slot(m, count, e->key, lengths[i], hint);
    if (found < 0) {
      if (flag == SC_GET_ALL) return fail(ENOENT);
    } else if (!slot_sound(m, slots[found])) {
      return fail(EIO);
    } else if (slots[found].size != e->size || slots[found].type != e->type) {
      return fail(EINVAL);
    } else {
      hint = uint32_t(found) + 1;
    }
    where[i] = found;
  }
  int read = 0;
  for (int i = 0; i < n; i++) {
    if (where[i] < 0) continue;
    memcpy(entries[i]->data, m.data() + slots[where[i]].offset, entries[i]->size);
    read++;
  }
  return read;
}

// --- test-only interface -----------------------------------------------------

int durnik_testing_remove_group(const char *name) {
  std::string object;
  if (!object_name(name, &object)) return fail(EINVAL);
  MappingPtr mapping = lookup(object);
  if (mapping) __atomic_store_n(&mapping->header()->removed, 1u, __ATOMIC_RELEASE);
  forget(object);
  return shm_unlink(object.c_str());
}

int durnik_testing_remove_all(void) {
  const std::string &p = prefix();
  DIR *dir = opendir("/dev/shm");
  if (dir == nullptr) return -1;
  int result = 0;
  while (struct dirent *entry = readdir(dir)) {
    if (strncmp(entry->d_name, p.c_str() + 1, p.size() - 1) != 0) continue;
    if (durnik_testing_remove_group(entry->d_name + p.size() - 1) < 0) result = -1;
  }
  closedir(dir);
  return result;
}

int64_t durnik_testing_group_size(const char *name) {
  Access access;
  if (access_group(name, &access) < 0) return -1;
  return int64_t(access.mapping->data_size);
}

int durnik_testing_key_count(const char *name) {
  Access access;
  if (access_group(name, &access) < 0) return -1;
  return int(access.mapping->header()->key_count);
}

void durnik_testing_fail_call(durnik_testing_call call, unsigned nth, int error) {
  if (call < DURNIK_TESTING_CREATE || call > DURNIK_TESTING_GET) return;
  fail_error[call] = error;
  fail_nth[call] = nth;
}

int durnik_testing_lock_and_keep(const char *name) {
  Access access;
  if (access_group(name, &access) < 0) return -1;
  access.lock->release();
  return 0;
}

int durnik_testing_damage(const char *name, durnik_damage damage) {
  Access access;
  if (access_group(name, &access) < 0) return -1;
  const Mapping &m = *access.mapping;
  Header *h = m.header();
  Slot *slots = m.slots();
  switch (damage) {
    case DURNIK_DAMAGE_MAGIC:
      h->magic = 0xdeadbeef;
      break;
    case DURNIK_DAMAGE_KEY_COUNT:
      h->key_count = 0xfffffff0u;
      break;
    case DURNIK_DAMAGE_DATA_SIZE:
      h->data_size = m.data_size * 1000;
      break;
    case DURNIK_DAMAGE_VALUE_OFFSET:
      for (uint32_t i = 0; i < h->key_count; i++) slots[i].offset = m.data_size + 4096;
      break;
    case DURNIK_DAMAGE_VALUE_SIZE:
      for (uint32_t i = 0; i < h->key_count; i++) slots[i].size = UINT64_MAX - 3;
      break;
    case DURNIK_DAMAGE_KEY_TEXT:
      for (uint32_t i = 0; i < h->key_count; i++) memset(slots[i].key, 'X', kKeyField);
      break;
    default:
      return fail(EINVAL);
  }
  return 0;
}

}  // extern "C"
