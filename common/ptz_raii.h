// RAII guards for GLib locks and allocations held across C++ scopes.
#pragma once

#include <glib.h>
#include <glib-object.h>

#include <memory>

// ThreadSanitizer cannot see GLib's futex-based locks; the guards below tell
// it about every acquisition and release so it reports real races only.
#if defined(__SANITIZE_THREAD__)
#define VELMORA_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELMORA_TSAN 1
#endif
#endif

#if defined(VELMORA_TSAN)
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
#define VELMORA_TSAN_ACQUIRE(address) __tsan_acquire(static_cast<void *>(address))
#define VELMORA_TSAN_RELEASE(address) __tsan_release(static_cast<void *>(address))
#else
#define VELMORA_TSAN_ACQUIRE(address) ((void)0)
#define VELMORA_TSAN_RELEASE(address) ((void)0)
#endif

namespace velmora {

// Tell ThreadSanitizer about an ordering that GLib establishes where it does
// not look (a lock, a queue hand-over, a main-context dispatch).
inline void tsan_handed_over([[maybe_unused]] const void *address) {
  VELMORA_TSAN_RELEASE(const_cast<void *>(address));
}
inline void tsan_taken_over([[maybe_unused]] const void *address) {
  VELMORA_TSAN_ACQUIRE(const_cast<void *>(address));
}

class MutexLock {
 public:
  explicit MutexLock(GMutex *mutex) : mutex_(mutex) {
    g_mutex_lock(mutex_);
    VELMORA_TSAN_ACQUIRE(mutex_);
  }
  ~MutexLock() {
    VELMORA_TSAN_RELEASE(mutex_);
    g_mutex_unlock(mutex_);
  }
  MutexLock(const MutexLock &) = delete;
  MutexLock &operator=(const MutexLock &) = delete;

 private:
  GMutex *mutex_;
};

class RecMutexLock {
 public:
  explicit RecMutexLock(GRecMutex *mutex) : mutex_(mutex) {
    g_rec_mutex_lock(mutex_);
    VELMORA_TSAN_ACQUIRE(mutex_);
  }
  ~RecMutexLock() {
    VELMORA_TSAN_RELEASE(mutex_);
    g_rec_mutex_unlock(mutex_);
  }
  RecMutexLock(const RecMutexLock &) = delete;
  RecMutexLock &operator=(const RecMutexLock &) = delete;

 private:
  GRecMutex *mutex_;
};

class RWReaderLock {
 public:
  explicit RWReaderLock(GRWLock *lock) : lock_(lock) {
    g_rw_lock_reader_lock(lock_);
    VELMORA_TSAN_ACQUIRE(lock_);
  }
  ~RWReaderLock() {
    VELMORA_TSAN_RELEASE(lock_);
    g_rw_lock_reader_unlock(lock_);
  }
  RWReaderLock(const RWReaderLock &) = delete;
  RWReaderLock &operator=(const RWReaderLock &) = delete;

 private:
  GRWLock *lock_;
};

class RWWriterLock {
 public:
  explicit RWWriterLock(GRWLock *lock) : lock_(lock) {
    g_rw_lock_writer_lock(lock_);
    VELMORA_TSAN_ACQUIRE(lock_);
  }
  ~RWWriterLock() {
    VELMORA_TSAN_RELEASE(lock_);
    g_rw_lock_writer_unlock(lock_);
  }
  RWWriterLock(const RWWriterLock &) = delete;
  RWWriterLock &operator=(const RWWriterLock &) = delete;

 private:
  GRWLock *lock_;
};

struct GFreeDeleter {
  void operator()(void *p) const { g_free(p); }
};
struct GStrvDeleter {
  void operator()(gchar **p) const { g_strfreev(p); }
};
struct GObjectDeleter {
  void operator()(gpointer p) const { if (p) g_object_unref(p); }
};
struct GErrorDeleter {
  void operator()(GError *e) const { if (e) g_error_free(e); }
};
struct GKeyFileDeleter {
  void operator()(GKeyFile *k) const { if (k) g_key_file_unref(k); }
};

using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;
using GStrv = std::unique_ptr<gchar *, GStrvDeleter>;
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;
using GKeyFilePtr = std::unique_ptr<GKeyFile, GKeyFileDeleter>;

}  // namespace velmora
