// test-labels: threaded
// The descriptor event source: pause on hang-up, pause and resume from
// another thread while the main context dispatches it.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "ptz_socket.h"
#include "socket/ptz_socket_private.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

// A source attached to the default context on one end of a socket pair,
// whose callback drains that end.
struct Watched {
  int fd[2] = {-1, -1};
  std::atomic<int> calls{0}, bytes{0};
  GSource *source = nullptr;

  Watched() {
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fd), 0);
    source = ptz_file_g_source_new(fd[0]);
    g_source_set_callback(source, G_SOURCE_FUNC(drain), this, nullptr);
    g_source_attach(source, nullptr);
  }
  ~Watched() {
    g_source_destroy(source);
    g_source_unref(source);
    close(fd[0]);
    close(fd[1]);
  }
  static gboolean drain(gpointer data, GIOCondition condition) {
    auto *self = static_cast<Watched *>(data);
    EXPECT_TRUE(condition & G_IO_IN);
    char buffer[256];
    for (ssize_t n; (n = read(self->fd[0], buffer, sizeof(buffer))) > 0;) self->bytes += int(n);
    self->calls++;
    return TRUE;
  }
  void send(const char *text) { ASSERT_EQ(write(fd[1], text, strlen(text)), ssize_t(strlen(text))); }
};

void count_hangup(gpointer data) { ++*static_cast<int *>(data); }

}  // namespace

TEST(FileGSource, PausesOnHangUpUntilResumed) {
  Watched w;
  int hangups = 0;
  velmora::socket::source_set_hangup_notify(w.source, count_hangup, &hangups);
  // Paused (twice is the same): data waits until watching resumes.
  ptz_file_g_source_remove_poll(w.source);
  ptz_file_g_source_remove_poll(w.source);
  w.send("abc");
  iterate_for(100);
  EXPECT_EQ(w.bytes, 0);
  ptz_file_g_source_add_poll(w.source);
  ptz_file_g_source_add_poll(w.source);
  EXPECT_TRUE(iterate_until([&] { return w.bytes == 3; }));

  // Hang-up: no call, watching pauses itself and stays silent.
  int calls = w.calls;
  close(w.fd[1]);
  w.fd[1] = -1;
  EXPECT_TRUE(iterate_until([&] { return hangups == 1; }));
  EXPECT_EQ(reinterpret_cast<PTZFileGSource *>(w.source)->tag, nullptr);
  iterate_for(100);
  EXPECT_EQ(hangups, 1);
  // Resumed, it watches again (and pauses again on the same hang-up).
  ptz_file_g_source_add_poll(w.source);
  EXPECT_TRUE(iterate_until([&] { return hangups == 2; }));
  EXPECT_EQ(w.calls, calls);
}

TEST(FileGSource, PauseAndResumeFromAnotherThread) {
  Watched w;
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
      w.send("0123456789");
      g_usleep(500);
    }
  });
  EXPECT_TRUE(iterate_until([&] { return done && w.bytes == 2000; }, 60000));
  writer.join();
  toggler.join();

  std::thread([&] { ptz_file_g_source_remove_poll(w.source); }).join();
  int calls = w.calls;
  w.send("x");
  iterate_for(100);
  EXPECT_EQ(w.calls, calls);
  // Following another descriptor also resumes watching.
  std::thread([&] { velmora::socket::source_set_fd(w.source, w.fd[0]); }).join();
  EXPECT_TRUE(iterate_until([&] { return w.bytes == 2001; }));
}

// A held source dispatches nothing; a main context that finds its descriptor
// readable meanwhile stops watching it, and the release resumes watching
// (also after a pause made before the hold), so the data is read then.
TEST(FileGSource, HeldSourceDispatchesNothingAndStopsWatchingOnlyWhenPolled) {
  Watched w;
  velmora::socket::source_hold(w.source);
  iterate_for(50);
  // Nothing to read: nobody changed the poll set.
  EXPECT_NE(reinterpret_cast<PTZFileGSource *>(w.source)->tag, nullptr);
  w.send("held");
  iterate_for(200);
  EXPECT_EQ(w.calls, 0);
  EXPECT_EQ(reinterpret_cast<PTZFileGSource *>(w.source)->tag, nullptr);
  std::thread([&] { velmora::socket::source_release(w.source, true); }).join();
  EXPECT_TRUE(iterate_until([&] { return w.bytes == 4; }));

  // A release without resuming leaves a pause made before the hold.
  ptz_file_g_source_remove_poll(w.source);
  velmora::socket::source_hold(w.source);
  velmora::socket::source_release(w.source, false);
  w.send("x");
  iterate_for(100);
  EXPECT_EQ(w.bytes, 4);
  velmora::socket::source_hold(w.source);
  velmora::socket::source_release(w.source, true);
  EXPECT_TRUE(iterate_until([&] { return w.bytes == 5; }));
}
