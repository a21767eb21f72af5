// Status cache stand-in: each group is one POSIX shared-memory object (a file
// under /dev/shm) holding a header, a key directory and the value storage.
//
// Who may do what. The creator's account, and the members of one configured
// writer group, write a group; every account may read it. Writers map the
// object read-write and take turns on a process-shared robust mutex in its
// header. Readers never map it: they copy what they need with pread while a
// sequence counter, which writers make odd while they change anything, stays
// the same, and try again when it moved. So no reader can stall a writer, and
// a reader cannot die of SIGBUS on an object that shrank under it.
//
// A group is built whole under no name (O_TMPFILE) and linked into place, so
// a creator killed half-way leaves nothing behind. An object of another
// account is never written to, never believed by a reader and never removed.
// Anything read from an object is checked before it is used.
#include "durnik.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "durnik_testing.h"

namespace {

constexpr uint32_t kMagic = 0x4b4e5244;  // "DRNK"
constexpr uint32_t kVersion = 2;
constexpr uint32_t kKeySlots = 128;
constexpr size_t kKeyField = SC_KEY_MAX + 1;
constexpr size_t kNameMax = 200;
constexpr int kLockTimeoutSeconds = 5;
// A reader gives up when writers kept changing the group for this long.
constexpr int64_t kReadPatienceNs = 1000000000;
constexpr const char *kDefaultPrefix = "/durnik.";
constexpr const char *kShmDir = "/dev/shm";

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

uint64_t object_size(uint64_t data_size) { return kDataOffset + data_size; }

int fail(int error) {
  errno = error;
  return -1;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// --- settings --------------------------------------------------------------

// Read once per process from the environment: the object name prefix
// (DURNIK_PREFIX) and the writer group (DURNIK_GROUP, a name or a number).
struct Settings {
  std::string prefix = kDefaultPrefix;
  std::optional<gid_t> writers;
  bool writers_known = true;  // false when DURNIK_GROUP names no group
};

std::optional<gid_t> group_id(const char *text) {
  std::vector<char> buffer(16384);
  struct group entry, *found = nullptr;
  if (getgrnam_r(text, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
    return found->gr_gid;
  char *end = nullptr;
  errno = 0;
  unsigned long number = strtoul(text, &end, 10);
  if (text[0] >= '0' && text[0] <= '9' && *end == '\0' && errno == 0 && number < gid_t(-1)) return gid_t(number);
  return std::nullopt;
}

const Settings &settings() {
  static const Settings value = [] {
    Settings s;
    const char *prefix = getenv("DURNIK_PREFIX");
    if (prefix != nullptr && prefix[0] == '/' && strchr(prefix + 1, '/') == nullptr && strlen(prefix) <= 100)
      s.prefix = prefix;
    const char *group = getenv("DURNIK_GROUP");
    if (group != nullptr && group[0] != '\0') {
      s.writers = group_id(group);
      s.writers_known = s.writers.has_value();
    }
    return s;
  }();
  return value;
}

bool object_name(const char *name, std::string *out) {
  if (name == nullptr) return false;
  size_t length = strnlen(name, kNameMax + 1);
  if (length == 0 || length > kNameMax || memchr(name, '/', length) != nullptr) return false;
  *out = settings().prefix;
  out->append(name, length);
  return true;
}

std::string path_of(const std::string &object) { return kShmDir + object; }

// --- trust ---------------------------------------------------------------

bool writer_group_owns(const struct stat &st) {
  const std::optional<gid_t> &writers = settings().writers;
  return writers && st.st_gid == *writers;
}

// Whether an object was published by an account this process believes: only
// root, this process's account and the writer group can have written it (it
// is writable by no other account or group), and one of them owns it.
bool trusted(const struct stat &st) {
  if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWOTH) != 0 ||
      ((st.st_mode & S_IWGRP) != 0 && !writer_group_owns(st)))
    return false;
  return st.st_uid == 0 || st.st_uid == geteuid() || writer_group_owns(st);
}

// Whether the object belongs to this process's account or, written by the
// group, to the writer group: the objects it may reclaim.
bool belongs_to_us(const struct stat &st) {
  return S_ISREG(st.st_mode) &&
         (st.st_uid == geteuid() || (writer_group_owns(st) && (st.st_mode & S_IWGRP) != 0));
}

bool writable_by_us(const struct stat &st) { return trusted(st) && belongs_to_us(st); }

// --- fault injection -----------------------------------------------------

std::atomic<bool> die_in_create{false};
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

// --- reading an object's header ----------------------------------------------

bool pread_all(int fd, void *buffer, size_t length, uint64_t offset) {
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
bool layout_sound(const Header &h, uint64_t object_bytes) {
  return h.magic == kMagic && h.version == kVersion && h.key_slots == kKeySlots && h.data_size > 0 &&
         h.data_size <= SC_GROUP_SIZE_MAX && object_size(h.data_size) == object_bytes;
}

// The variable part, for a group of `data_size` bytes.
bool contents_sound(const Header &h, uint64_t data_size) {
  return h.data_size == data_size && h.key_count <= kKeySlots && h.data_used <= data_size;
}

bool slot_sound(const Slot &slot, uint64_t data_size) {
  return slot.size > 0 && slot.size <= data_size && slot.offset <= data_size - slot.size;
}

// Index of the slot holding `key` (of `length` bytes) among `slots`, trying
// `hint` first (callers usually list keys in the order they were added), or
// -1. Comparing the terminating NUL too means a match is the same text, and
// no more than a slot's key field is ever read.
int find_slot(const Slot *slots, uint32_t count, const char *key, size_t length, uint32_t hint) {
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

// --- writers -------------------------------------------------------------

// One process's read-write mapping of one group. The data size copied at
// open never changes for a sound group; it is compared with the header on
// every access.
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

void forget_writers_after_fork();

// A writable mapping is not inherited by a forked child, which may have
// given up the rights it stands for (and forgets it, see below).
MappingPtr map_writable(int fd, uint64_t length, uint64_t data_size) {
  forget_writers_after_fork();
  auto mapping = std::make_shared<Mapping>();
  mapping->base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (mapping->base == MAP_FAILED) return nullptr;
  mapping->length = length;
  mapping->data_size = data_size;
  if (madvise(mapping->base, length, MADV_DONTFORK) < 0) return nullptr;
  return mapping;
}

// Opens an existing group for writing: an object of this account or of the
// writer group, whose header is checked before it is mapped.
MappingPtr open_writable(const std::string &object) {
  Descriptor fd(shm_open(object.c_str(), O_RDWR, 0));
  if (fd.get() < 0) return nullptr;
  struct stat st;
  Header h;
  if (fstat(fd.get(), &st) < 0) return nullptr;
  if (!writable_by_us(st)) {
    errno = EACCES;
    return nullptr;
  }
  if (!pread_all(fd.get(), &h, sizeof h, 0) || !layout_sound(h, uint64_t(st.st_size))) {
    errno = EIO;
    return nullptr;
  }
  if (h.removed != 0) {
    errno = ENOENT;
    return nullptr;
  }
  return map_writable(fd.get(), uint64_t(st.st_size), h.data_size);
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

// Makes the sequence counter odd for its lifetime, so readers know a write
// is under way; taken with the lock held. A counter left odd by a writer
// that died is where this write starts.
class WriteSection {
 public:
  explicit WriteSection(Header *h) : sequence_(&h->sequence) {
    uint64_t s = __atomic_load_n(sequence_, __ATOMIC_RELAXED);
    odd_ = s | 1;
    __atomic_store_n(sequence_, odd_, __ATOMIC_RELAXED);
    std::atomic_thread_fence(std::memory_order_release);
  }
  ~WriteSection() {
    if (open_) __atomic_store_n(sequence_, odd_ + 1, __ATOMIC_RELEASE);
  }
  WriteSection(const WriteSection &) = delete;
  WriteSection &operator=(const WriteSection &) = delete;
  // Leaves the counter odd, as a writer killed half-way would.
  void abandon() { open_ = false; }

 private:
  uint64_t *sequence_;
  uint64_t odd_;
  bool open_ = true;
};

// --- readers -------------------------------------------------------------

// One process's read-only descriptor of one group, from an object published
// by a trusted account.
struct Reader {
  int fd = -1;
  uint64_t object_bytes = 0;
  ~Reader() {
    if (fd >= 0) close(fd);
  }
};
using ReaderPtr = std::shared_ptr<Reader>;

ReaderPtr open_readable(const std::string &object) {
  auto reader = std::make_shared<Reader>();
  reader->fd = shm_open(object.c_str(), O_RDONLY, 0);
  if (reader->fd < 0) return nullptr;
  struct stat st;
  if (fstat(reader->fd, &st) < 0) return nullptr;
  if (!trusted(st)) {
    errno = EACCES;
    return nullptr;
  }
  reader->object_bytes = uint64_t(st.st_size);
  return reader;
}

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
    if (!pread_all(reader.fd, &h, sizeof h, 0)) return fail(EIO);
    const uint64_t sequence = h.sequence;
    if ((sequence & 1) != 0) continue;
    std::atomic_thread_fence(std::memory_order_acquire);
    // Until the sequence is confirmed these may be half-written: bounded
    // here, judged after.
    s->slots.resize(std::min(h.key_count, kKeySlots));
    if (!pread_all(reader.fd, s->slots.data(), s->slots.size() * sizeof(Slot), kSlotsOffset))
      return fail(EIO);
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
    if (!s->values.empty() && !pread_all(reader.fd, s->values.data(), s->values.size(), kDataOffset + first))
      return fail(EIO);
    std::atomic_thread_fence(std::memory_order_acquire);
    uint64_t again = 0;
    if (!pread_all(reader.fd, &again, sizeof again, offsetof(Header, sequence))) return fail(EIO);
    if (again == sequence) return 0;
  }
}

// Reads the request's values from a consistent copy of the group, and tells
// its header when asked.
int read_values(const Reader &reader, const Request &request, int flag, Header *seen = nullptr) {
  thread_local Snapshot s;
  int32_t where[SC_ENTRIES_MAX];
  if (snapshot(reader, request, &s, where) < 0) return -1;
  const Header &h = s.header;
  if (h.removed != 0) return fail(ENOENT);
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

// --- handles kept between calls ------------------------------------------

std::mutex cache_mutex;
auto *writers = new std::unordered_map<std::string, MappingPtr>();
auto *readers = new std::unordered_map<std::string, ReaderPtr>();

// Registers, once, the fork handlers that leave a child with no writable
// mapping of its parent's.
void forget_writers_after_fork() {
  static std::once_flag once;
  std::call_once(once, [] {
    pthread_atfork([] { cache_mutex.lock(); }, [] { cache_mutex.unlock(); },
                   [] {
                     writers->clear();
                     cache_mutex.unlock();
                   });
  });
}

void forget(const std::string &object) {
  std::lock_guard<std::mutex> guard(cache_mutex);
  writers->erase(object);
  readers->erase(object);
}

// The cached handle of `object` in `cache`, or a new one from `open`.
template <typename Handle, typename Open>
std::shared_ptr<Handle> cached(std::unordered_map<std::string, std::shared_ptr<Handle>> *cache,
                               const std::string &object, Open open) {
  {
    std::lock_guard<std::mutex> guard(cache_mutex);
    auto found = cache->find(object);
    if (found != cache->end()) return found->second;
  }
  std::shared_ptr<Handle> handle = open(object);
  if (handle) {
    std::lock_guard<std::mutex> guard(cache_mutex);
    (*cache)[object] = handle;
  }
  return handle;
}

// Runs `call` on the group's handle; when a handle kept from an earlier call
// fails because its object was removed, replaced or damaged, runs it once
// more on a handle opened anew.
template <typename Call>
int with_group(const char *name, Call call) {
  thread_local std::string object;  // reused: set and get are the hot paths
  if (!object_name(name, &object)) return fail(EINVAL);
  int result = call(object);
  if (result < 0 && (errno == EIO || errno == ENOENT)) {
    forget(object);
    result = call(object);
  }
  return result;
}

// A writer's access to a group: its mapping, locked, with a sound header.
struct Access {
  MappingPtr mapping;
  std::optional<GroupLock> lock;
};

int access_writable(const std::string &object, Access *access) {
  access->mapping = cached(writers, object, open_writable);
  if (!access->mapping) return -1;
  if (access->mapping->removed()) return fail(ENOENT);
  access->lock.emplace(*access->mapping);
  if (!access->lock->held()) return fail(access->lock->error());
  const Mapping &m = *access->mapping;
  if (!layout_sound(*m.header(), m.length) || !contents_sound(*m.header(), m.data_size)) return fail(EIO);
  return 0;
}

int write_values(const std::string &object, const Request &request, int flag) {
  Access access;
  if (access_writable(object, &access) < 0) return -1;
  const Mapping &m = *access.mapping;
  Header *h = m.header();
  Slot *slots = m.slots();

  // First resolve every key (adding new ones past the visible directory), so
  // that a refused call changes nothing.
  uint32_t where[SC_ENTRIES_MAX];
  uint32_t count = h->key_count;
  uint64_t used = h->data_used;
  uint32_t hint = 0;
  for (int i = 0; i < request.count; i++) {
    const sc_entry *e = request.entries[i];
    int found = find_slot(slots, count, e->key, request.lengths[i], hint);
    if (found < 0) {
      if (flag != SC_SET_ADD) return fail(ENOENT);
      uint64_t alignment = e->size >= 8 ? 8 : e->size >= 4 ? 4 : e->size >= 2 ? 2 : 1;
      uint64_t offset = (used + alignment - 1) & ~(alignment - 1);
      if (count >= kKeySlots || offset > m.data_size || e->size > m.data_size - offset) return fail(ENOSPC);
      Slot &slot = slots[count];
      memset(&slot, 0, sizeof slot);
      memcpy(slot.key, e->key, request.lengths[i]);
      slot.offset = offset;
      slot.size = e->size;
      slot.type = e->type;
      used = offset + e->size;
      found = int(count++);
    } else if (!slot_sound(slots[found], m.data_size)) {
      return fail(EIO);
    } else if (slots[found].size != e->size || slots[found].type != e->type) {
      return fail(EINVAL);
    }
    where[i] = uint32_t(found);
    hint = uint32_t(found) + 1;
  }
  // Slots past the published count are not read by anyone; from here on
  // readers must know that the group changes.
  WriteSection section(h);
  for (int i = 0; i < request.count; i++)
    memcpy(m.data() + slots[where[i]].offset, request.entries[i]->data, request.entries[i]->size);
  h->data_used = used;
  h->key_count = count;
  return request.count;
}

// --- creation --------------------------------------------------------------

// What lies under a group's name.
enum class Existing { kNone, kOurs, kForeign, kReclaimable };

Existing examine(const std::string &object, struct stat *st) {
  Descriptor fd(shm_open(object.c_str(), O_RDONLY, 0));
  if (fd.get() < 0) return errno == ENOENT ? Existing::kNone : Existing::kForeign;
  Header h;
  if (fstat(fd.get(), st) < 0) return Existing::kForeign;
  bool sound = pread_all(fd.get(), &h, sizeof h, 0) && layout_sound(h, uint64_t(st->st_size)) && h.removed == 0;
  if (!belongs_to_us(*st)) return Existing::kForeign;
  if (!sound) return Existing::kReclaimable;
  return writable_by_us(*st) ? Existing::kOurs : Existing::kForeign;
}

// Removes a half-made or damaged object of ours, if it is still the one that
// was examined.
void reclaim(const std::string &object, const struct stat &examined) {
  struct stat now;
  std::string path = path_of(object);
  if (lstat(path.c_str(), &now) == 0 && now.st_ino == examined.st_ino && now.st_dev == examined.st_dev)
    unlink(path.c_str());
}

// A new group, complete, under no name yet; its read-write mapping.
MappingPtr build(uint64_t size, Descriptor *fd) {
  const Settings &s = settings();
  if (fd->get() < 0) return nullptr;
  mode_t mode = 0644;
  if (s.writers) {
    if (fchown(fd->get(), uid_t(-1), *s.writers) < 0) return nullptr;
    mode = 0664;
  }
  uint64_t length = object_size(size);
  if (fchmod(fd->get(), mode) < 0 || ftruncate(fd->get(), off_t(length)) < 0) return nullptr;
  if (die_in_create.exchange(false)) raise(SIGKILL);
  MappingPtr mapping = map_writable(fd->get(), length, size);
  if (!mapping) return nullptr;
  Header *h = mapping->header();
  h->version = kVersion;
  h->data_size = size;
  h->key_slots = kKeySlots;
  h->key_count = 0;
  h->data_used = 0;
  h->sequence = 0;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(&h->lock, &attr);
  pthread_mutexattr_destroy(&attr);
  h->magic = kMagic;
  return mapping;
}

int create(const std::string &object, uint64_t size, int flag) {
  if (!settings().writers_known) return fail(EINVAL);
  Descriptor fd(open(kShmDir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  MappingPtr mapping = build(size, &fd);
  if (!mapping) return -1;
  const std::string link = "/proc/self/fd/" + std::to_string(fd.get()), path = path_of(object);
  // A half-made object of ours is reclaimed; a few rounds allow for other
  // creators racing for the same name.
  for (int round = 0; round < 3; round++) {
    if (linkat(AT_FDCWD, link.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      std::lock_guard<std::mutex> guard(cache_mutex);
      (*writers)[object] = mapping;
      readers->erase(object);
      return 0;
    }
    if (errno != EEXIST) return -1;
    struct stat st;
    switch (examine(object, &st)) {
      case Existing::kNone:
        break;
      case Existing::kOurs:
        return flag == SC_CREATE_OPEN ? 0 : fail(EEXIST);
      case Existing::kForeign:
        return fail(flag == SC_CREATE_OPEN ? EACCES : EEXIST);
      case Existing::kReclaimable:
        reclaim(object, st);
        break;
    }
  }
  return fail(EEXIST);
}

// A group's header as a reader sees it, for the test interface.
int read_header(const char *name, Header *out) {
  return with_group(name, [&](const std::string &object) {
    ReaderPtr reader = cached(readers, object, open_readable);
    Request none{};
    return reader ? read_values(*reader, none, SC_GET_PRESENT, out) : -1;
  });
}

}  // namespace

extern "C" {

int sc_create_group(const char *name, int64_t size, int flag) {
  if (injected_failure(DURNIK_TESTING_CREATE)) return -1;
  std::string object;
  if (!object_name(name, &object) || size <= 0 || size > SC_GROUP_SIZE_MAX ||
      (flag != SC_CREATE_EXCLUSIVE && flag != SC_CREATE_OPEN))
    return fail(EINVAL);
  return create(object, uint64_t(size), flag);
}

int sc_set_group(const char *name, sc_entry **entries, int flag) {
  if (injected_failure(DURNIK_TESTING_SET)) return -1;
  if (flag != SC_SET_EXISTING && flag != SC_SET_ADD) return fail(EINVAL);
  Request request;
  request.entries = entries;
  request.count = count_entries(entries, request.lengths);
  if (request.count < 0) return -1;
  return with_group(name, [&](const std::string &object) { return write_values(object, request, flag); });
}

int sc_get_group(const char *name, sc_entry **entries, int flag) {
  if (injected_failure(DURNIK_TESTING_GET)) return -1;
  if (flag != SC_GET_ALL && flag != SC_GET_PRESENT) return fail(EINVAL);
  Request request;
  request.entries = entries;
  request.count = count_entries(entries, request.lengths);
  if (request.count < 0) return -1;
  return with_group(name, [&](const std::string &object) {
    ReaderPtr reader = cached(readers, object, open_readable);
    return reader ? read_values(*reader, request, flag) : -1;
  });
}

// --- test-only interface -----------------------------------------------------

int durnik_testing_remove_group(const char *name) {
  std::string object;
  if (!object_name(name, &object)) return fail(EINVAL);
  // Processes that keep the group open learn of the removal from its mark;
  // only a group this process may write can be marked.
  if (MappingPtr mapping = cached(writers, object, open_writable))
    __atomic_store_n(&mapping->header()->removed, 1u, __ATOMIC_RELEASE);
  forget(object);
  return shm_unlink(object.c_str());
}

int durnik_testing_remove_all(void) {
  const std::string &p = settings().prefix;
  DIR *dir = opendir(kShmDir);
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
  Header h;
  return read_header(name, &h) < 0 ? -1 : int64_t(h.data_size);
}

int durnik_testing_key_count(const char *name) {
  Header h;
  return read_header(name, &h) < 0 ? -1 : int(h.key_count);
}

void durnik_testing_fail_call(durnik_testing_call call, unsigned nth, int error) {
  if (call < DURNIK_TESTING_CREATE || call > DURNIK_TESTING_GET) return;
  fail_error[call] = error;
  fail_nth[call] = nth;
}

void durnik_testing_die_in_next_create(void) { die_in_create = true; }

int durnik_testing_lock_and_keep(const char *name) {
  std::string object;
  if (!object_name(name, &object)) return fail(EINVAL);
  Access access;
  if (access_writable(object, &access) < 0) return -1;
  WriteSection section(access.mapping->header());
  section.abandon();
  access.lock->release();
  return 0;
}

int durnik_testing_damage(const char *name, durnik_damage damage) {
  std::string object;
  if (!object_name(name, &object)) return fail(EINVAL);
  Access access;
  if (access_writable(object, &access) < 0) return -1;
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
