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
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "common/ptz_mutex.h"
#include "durnik_accounts.h"
#include "durnik_layout.h"
#include "durnik_reader.h"
#include "durnik_testing.h"

namespace {

using namespace durnik;

constexpr int kLockTimeoutSeconds = 5;
constexpr const char *kShmDir = "/dev/shm";

std::string path_of(const std::string &object) { return kShmDir + object; }

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
  UniqueFd fd(shm_open(object.c_str(), O_RDWR | O_NONBLOCK, 0));
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
    odd_ = __atomic_load_n(sequence_, __ATOMIC_RELAXED) | 1;
    // An exchange with acquire order: no write of the values can come before
    // the odd counter.
    __atomic_exchange_n(sequence_, odd_, __ATOMIC_ACQ_REL);
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

// --- handles kept between calls ------------------------------------------

velmora::Mutex cache_mutex;
auto *writers VELMORA_PT_GUARDED_BY(cache_mutex) = new std::unordered_map<std::string, MappingPtr>();
auto *readers VELMORA_PT_GUARDED_BY(cache_mutex) = new std::unordered_map<std::string, ReaderPtr>();

// The fork handlers: the cache is consistent while a process forks, and the
// child forgets its parent's writable mappings.
void before_fork() VELMORA_ACQUIRE(cache_mutex) { cache_mutex.lock(); }
void after_fork_in_parent() VELMORA_RELEASE(cache_mutex) { cache_mutex.unlock(); }
void after_fork_in_child() VELMORA_RELEASE(cache_mutex) {
  writers->clear();
  cache_mutex.unlock();
}

// Registers the fork handlers, once.
void forget_writers_after_fork() {
  static std::once_flag once;
  std::call_once(once, [] { pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child); });
}

void forget(const std::string &object) {
  velmora::MutexLock lock(cache_mutex);
  writers->erase(object);
  readers->erase(object);
}

// The cached handle of `object` in `cache`, or a new one from `open`.
template <typename Handle, typename Open>
std::shared_ptr<Handle> cached(std::unordered_map<std::string, std::shared_ptr<Handle>> *cache,
                               const std::string &object, Open open) {
  {
    velmora::MutexLock lock(cache_mutex);
    auto found = cache->find(object);
    if (found != cache->end()) return found->second;
  }
  std::shared_ptr<Handle> handle = open(object);
  if (handle) {
    velmora::MutexLock lock(cache_mutex);
    (*cache)[object] = handle;
  }
  return handle;
}

// Runs `call` on the group's handle; when a handle kept from an earlier call
// fails because its object was removed (ESTALE), or replaced or damaged
// (EIO), runs it once more on a handle opened anew. A group still removed
// then is missing.
template <typename Call>
int with_group(const char *name, Call call) {
  thread_local std::string object;  // reused: set and get are the hot paths
  if (!object_name(name, &object)) return fail(EINVAL);
  int result = call(object);
  if (result < 0 && (errno == EIO || errno == ESTALE)) {
    forget(object);
    result = call(object);
    if (result < 0 && errno == ESTALE) errno = ENOENT;
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
  if (access->mapping->removed()) return fail(ESTALE);
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
enum class Existing {
  kNone,
  kOurs,
  kForeign,
  kReclaimable
};

Existing examine(const std::string &object, struct stat *st) {
  // Non-blocking, as every open of a name another account may have taken
  // (a FIFO would hold it); only regular files are ours.
  UniqueFd fd(shm_open(object.c_str(), O_RDONLY | O_NONBLOCK, 0));
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

// A new group, complete, in `fd`, an object under no name yet; its
// read-write mapping.
MappingPtr build(uint64_t size, int fd) {
  if (fd < 0) return nullptr;
  const std::optional<gid_t> &writer_group = settings().writers;
  mode_t mode = 0644;
  if (writer_group) {
    if (fchown(fd, uid_t(-1), *writer_group) < 0) return nullptr;
    mode = 0664;
  }
  uint64_t length = object_size(size);
  if (fchmod(fd, mode) < 0 || ftruncate(fd, off_t(length)) < 0) return nullptr;
  if (die_in_create.exchange(false)) raise(SIGKILL);
  MappingPtr mapping = map_writable(fd, length, size);
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
  UniqueFd fd(open(kShmDir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  MappingPtr mapping = build(size, fd.get());
  if (!mapping) return -1;
  const std::string link = "/proc/self/fd/" + std::to_string(fd.get()), path = path_of(object);
  // A half-made object of ours is reclaimed; a few rounds allow for other
  // creators racing for the same name.
  for (int round = 0; round < 3; round++) {
    if (linkat(AT_FDCWD, link.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      velmora::MutexLock lock(cache_mutex);
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
    ReaderPtr reader = cached(readers, object, open_reader);
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
    ReaderPtr reader = cached(readers, object, open_reader);
    return reader ? read_values(*reader, request, flag) : -1;
  });
}

// --- listing -------------------------------------------------------------

int sc_list_groups(sc_group_func func, void *data) {
  if (func == nullptr) return fail(EINVAL);
  const std::string &p = settings().prefix;  // "/durnik." names "/dev/shm/durnik.*"
  DIR *dir = opendir(kShmDir);
  if (dir == nullptr) return -1;
  int listed = 0;
  while (struct dirent *entry = readdir(dir)) {
    if (strncmp(entry->d_name, p.c_str() + 1, p.size() - 1) != 0) continue;
    const char *name = entry->d_name + p.size() - 1;
    std::string object;
    if (!object_name(name, &object)) continue;
    // Listed only what a reader would believe: a complete group of a trusted
    // publisher, read without a lock or a mapping.
    ReaderPtr reader = open_reader(object);
    Header h;
    Request none{};
    if (!reader || read_values(*reader, none, SC_GET_PRESENT, &h) < 0) continue;
    listed++;
    if (func(name, int64_t(h.data_size), data) != 0) break;
  }
  closedir(dir);
  return listed;
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
