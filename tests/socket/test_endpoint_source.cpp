// test-labels: threaded
// The descriptor event source: delivery, pause on hang-up, pause and resume
// from another thread while the main context dispatches it.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "ptz_socket.h"
#include "socket/ptz_socket_private.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

struct Pair {
  int fd[2] = {-1, -1};
  Pair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fd), 0); }
  ~Pair() {
    for (int f : fd)
      if (f >= 0) close(f);
  }
};

// What the callback saw.
struct Reader {
  std::atomic<int> calls{0};
  std::atomic<int> bytes{0};
  gboolean result = TRUE;
};

struct Watched {
  Pair pair;
  Reader reader;
  GSource *source;
  explicit Watched(GSourceFunc callback = nullptr) {
    source = ptz_file_g_source_new(pair.fd[0]);
    g_source_set_callback(source, callback, this, nullptr);
    g_source_attach(source, nullptr);
  }
  ~Watched() {
    g_source_destroy(source);
    g_source_unref(source);
  }
};

gboolean drain(gpointer data, GIOCondition) {
  auto *w = static_cast<Watched *>(data);
  char buffer[256];
  ssize_t n;
  while ((n = read(w->pair.fd[0], buffer, sizeof(buffer))) > 0) w->reader.bytes += int(n);
  w->reader.calls++;
  return w->reader.result;
}

GSourceFunc drain_func() { return G_SOURCE_FUNC(drain); }

void hangup(gpointer data) { ++*static_cast<int *>(data); }

}  // namespace

TEST(FileGSource, DeliversInputAndPausesOnHangUpUntilResumed) {
  Watched w(drain_func());
  auto *record = reinterpret_cast<PTZFileGSource *>(w.source);
  ASSERT_NE(record->tag, nullptr);
  EXPECT_EQ(ptz_file_g_source_get_fd(w.source), w.pair.fd[0]);
  int hangups = 0;
  ptz_file_g_source_set_hangup_notify(w.source, hangup, &hangups);

  ASSERT_EQ(write(w.pair.fd[1], "abc", 3), 3);
  EXPECT_TRUE(iterate_until([&] { return w.reader.bytes == 3; }));

  // Paused: data waits, no call.
  ptz_file_g_source_remove_poll(w.source);
  ptz_file_g_source_remove_poll(w.source);
  ASSERT_EQ(write(w.pair.fd[1], "de", 2), 2);
  iterate_for(100);
  EXPECT_EQ(w.reader.bytes, 3);
  ptz_file_g_source_add_poll(w.source);
  ptz_file_g_source_add_poll(w.source);
  EXPECT_TRUE(iterate_until([&] { return w.reader.bytes == 5; }));

  // Hang-up: no call, watching pauses itself and stays silent.
  int calls = w.reader.calls;
  close(w.pair.fd[1]);
  w.pair.fd[1] = -1;
  EXPECT_TRUE(iterate_until([&] { return record->tag == nullptr; }));
  iterate_for(100);
  EXPECT_EQ(w.reader.calls, calls);
  EXPECT_EQ(hangups, 1);

  // Resumed, it watches again (and pauses again on the same hang-up).
  ptz_file_g_source_add_poll(w.source);
  EXPECT_NE(record->tag, nullptr);
  EXPECT_TRUE(iterate_until([&] { return hangups == 2; }));
  EXPECT_EQ(record->tag, nullptr);
  EXPECT_EQ(w.reader.calls, calls);
}

TEST(FileGSource, CallbackFalseRemovesAttachedSource) {
  Pair pair;
  struct State {
    int calls = 0;
  } state;
  guint id = ptz_file_g_source_add(
      pair.fd[0],
      [](gpointer data, GIOCondition) -> gboolean {
        static_cast<State *>(data)->calls++;
        return FALSE;
      },
      &state);
  ASSERT_NE(id, 0u);
  ASSERT_EQ(write(pair.fd[1], "x", 1), 1);
  EXPECT_TRUE(iterate_until([&] { return state.calls == 1; }));
  iterate_for(100);
  EXPECT_EQ(state.calls, 1);
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, id), nullptr);
}

TEST(FileGSource, FollowsAnotherDescriptor) {
  Watched w(drain_func());
  Pair other;
  ptz_file_g_source_remove_poll(w.source);
  // Re-targeting watches the new descriptor even when paused before.
  ptz_file_g_source_set_fd(w.source, other.fd[0]);
  EXPECT_EQ(ptz_file_g_source_get_fd(w.source), other.fd[0]);
  ASSERT_EQ(write(other.fd[1], "zz", 2), 2);
  ASSERT_EQ(write(w.pair.fd[1], "old", 3), 3);
  // The callback drains the original descriptor; being called at all shows
  // the new one is watched, and the old one's data stays unread.
  EXPECT_TRUE(iterate_until([&] { return w.reader.calls > 0; }));
  char buffer[8];
  EXPECT_EQ(read(other.fd[0], buffer, sizeof(buffer)), 2);
}

TEST(FileGSource, PauseAndResumeFromAnotherThread) {
  Watched w(drain_func());
  std::atomic<bool> done{false};
  std::thread toggler([&] {
    for (int i = 0; i < 2000; i++) {
      ptz_file_g_source_remove_poll(w.source);
      g_usleep(50);
      ptz_file_g_source_add_poll(w.source);
    }
    done = true;
  });
  std::thread writer([&] {
    for (int i = 0; i < 200; i++) {
      if (write(w.pair.fd[1], "0123456789", 10) != 10) ADD_FAILURE() << "write failed";
      g_usleep(500);
    }
  });
  EXPECT_TRUE(iterate_until([&] { return done.load() && w.reader.bytes == 2000; }, 60000));
  writer.join();
  toggler.join();
  EXPECT_EQ(w.reader.bytes, 2000);

  // Paused from another thread while the loop runs: no call until resumed.
  std::thread([&] { ptz_file_g_source_remove_poll(w.source); }).join();
  int calls = w.reader.calls;
  ASSERT_EQ(write(w.pair.fd[1], "x", 1), 1);
  iterate_for(100);
  EXPECT_EQ(w.reader.calls, calls);
  std::thread([&] { ptz_file_g_source_add_poll(w.source); }).join();
  EXPECT_TRUE(iterate_until([&] { return w.reader.bytes == 2001; }));
}
