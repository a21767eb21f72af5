// The one lock type of the library and of its bundled stand-ins:
// velmora::Mutex, held for a scope by velmora::MutexLock. Header-only, over
// GLib alone, so the stand-ins use it without linking the library.
//
// Why it looks the way it does:
//
// - A Mutex is a GMutex underneath. Some locks live in public records whose
//   layout is frozen (PTZFileGSource, PTZSocketClientCommand,
//   PTZParameterItemArrayClass) and stay GMutex fields there; a Mutex made
//   with Mutex(GMutex *) stands for such a lock. Every other lock is a Mutex
//   of its own. Either way there is one type and one way to take it.
// - ThreadSanitizer does not see GLib's futex-based locks. Every acquisition
//   and release is announced to it, so it orders what the lock orders and
//   reports real races only; GLib's other hand-overs that it cannot see (a
//   main-context dispatch, a thread pool's queue) are announced with
//   tsan_handed_over() and tsan_taken_over().
// - A Mutex is a capability of clang's thread-safety analysis
//   (-Wthread-safety, on in every clang build): the state a lock guards is
//   marked VELMORA_GUARDED_BY (or VELMORA_PT_GUARDED_BY for what a pointer
//   points at), a function that expects a lock held VELMORA_REQUIRES, and
//   the build fails on an access without the lock. Fields of public records
//   cannot carry the marks; the functions that touch them do.
// - MutexLock is the only way the code takes a Mutex, so every lock is
//   released on every path.
#pragma once

#include <glib.h>

#if defined(__clang__)
#define VELMORA_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VELMORA_THREAD_ANNOTATION(x)
#endif

#define VELMORA_CAPABILITY(name) VELMORA_THREAD_ANNOTATION(capability(name))
#define VELMORA_SCOPED_CAPABILITY VELMORA_THREAD_ANNOTATION(scoped_lockable)
#define VELMORA_GUARDED_BY(lock) VELMORA_THREAD_ANNOTATION(guarded_by(lock))
#define VELMORA_PT_GUARDED_BY(lock) VELMORA_THREAD_ANNOTATION(pt_guarded_by(lock))
#define VELMORA_REQUIRES(...) VELMORA_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define VELMORA_EXCLUDES(...) VELMORA_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define VELMORA_ACQUIRE(...) VELMORA_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define VELMORA_RELEASE(...) VELMORA_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define VELMORA_RETURN_CAPABILITY(lock) VELMORA_THREAD_ANNOTATION(lock_returned(lock))
#define VELMORA_ASSERT_CAPABILITY(lock) VELMORA_THREAD_ANNOTATION(assert_capability(lock))
#define VELMORA_NO_THREAD_SAFETY_ANALYSIS VELMORA_THREAD_ANNOTATION(no_thread_safety_analysis)

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
#endif

namespace velmora {

// An ordering that GLib establishes where ThreadSanitizer does not look: what
// one thread did before tsan_handed_over(address) happens before what another
// does after tsan_taken_over(address).
inline void tsan_handed_over([[maybe_unused]] const void *address) {
#if defined(VELMORA_TSAN)
  __tsan_release(const_cast<void *>(address));
#endif
}
inline void tsan_taken_over([[maybe_unused]] const void *address) {
#if defined(VELMORA_TSAN)
  __tsan_acquire(const_cast<void *>(address));
#endif
}

class VELMORA_CAPABILITY("mutex") Mutex {
 public:
  // A lock of its own. It needs no initialisation (one in static storage is
  // ready before any code runs) and no clearing.
  constexpr Mutex() = default;
  // The lock of a GMutex that a public record holds; its owner initialises
  // and clears it.
  constexpr explicit Mutex(GMutex *shared) : shared_(shared) {}
  Mutex(const Mutex &) = delete;
  Mutex &operator=(const Mutex &) = delete;

  void lock() VELMORA_ACQUIRE() {
    g_mutex_lock(gmutex());
    tsan_taken_over(gmutex());
  }
  void unlock() VELMORA_RELEASE() {
    tsan_handed_over(gmutex());
    g_mutex_unlock(gmutex());
  }
  // Tells the thread-safety analysis that the caller holds this lock, taken
  // under another name (through a base class's accessor, say). Checks nothing
  // at run time.
  void assert_held() const VELMORA_ASSERT_CAPABILITY(this) {}

 private:
  GMutex *gmutex() { return shared_ != nullptr ? shared_ : &own_; }

  GMutex *shared_ = nullptr;
  GMutex own_ = {};
};

// Holds a Mutex for its lifetime.
class VELMORA_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex &mutex) VELMORA_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() VELMORA_RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock &) = delete;
  MutexLock &operator=(const MutexLock &) = delete;

 private:
  Mutex &mutex_;
};

}  // namespace velmora
