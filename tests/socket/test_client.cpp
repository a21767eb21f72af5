// test-labels: threaded
// Socket clients against raw peers: framing, ids, hostile length fields,
// descriptor numbers beyond select's reach, and pausing.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "client_fixture.h"

using namespace velmora::testing;

namespace {

// Answers every framed message on `fd` from a thread, with the raw bytes
// that `reply_for` returns, until it is destroyed.
class FramePeer {
 public:
  FramePeer(int fd, std::function<std::string(const Reply &)> reply_for)
      : thread_([this, fd, reply_for] {
          while (!stop_) {
            Reply message = read_reply(fd, 100, false);
            if (message.length != 0) send_all(fd, reply_for(message));
          }
        }) {}
  ~FramePeer() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A connected pair, non-blocking like every descriptor the library opens.
struct Pair {
  int client = -1, peer = -1;
  Pair() {
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, sv), 0);
    client = sv[0];
    peer = sv[1];
  }
  ~Pair() {
    close(client);
    close(peer);
  }
};

}  // namespace

// Every framed message draws the next id, synchronous or not, the first one
// 0; a payload too large for a message is refused without drawing one.
TEST(CommandClientFraming, IdsCountFromZeroAcrossSyncAndAsync) {
  Pair pair;
  PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, pair.client, SOCK_STREAM);
  Recorder recorder;
  Token token{&recorder, 1};
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), record_dispatch, nullptr);
  std::string oversized(2553, 'x');
  EXPECT_FALSE(sync_send(client, oversized));
  EXPECT_FALSE(ptz_socket_client_command_async_send(client, oversized.data(), oversized.size(), nullptr));
  {
    FramePeer peer(pair.peer, [](const Reply &m) { return frame(m.id, "id" + std::to_string(m.id)); });
    std::string reply;
    EXPECT_TRUE(sync_send(client, "one", &reply));
    EXPECT_EQ(reply, "id0");
    EXPECT_TRUE(ptz_socket_client_command_async_send(client, "two", 3, &token));
    EXPECT_TRUE(ptz_socket_client_command_async_send(client, "three", 5, nullptr));
    EXPECT_TRUE(sync_send(client, "", &reply));
    EXPECT_EQ(reply, "id3");
    EXPECT_TRUE(iterate_until([&] { return recorder.size() == 1; }));
    EXPECT_EQ(recorder.of(1), "id1");
    g_object_unref(client);
  }
  // The descriptor was the caller's: still open.
  EXPECT_EQ(fcntl(pair.client, F_GETFD), 0);
}

// A length field the buffer cannot hold, or one shorter than the header,
// ends the connection at once: no overrun, no 10 s wait, never a reply.
TEST(CommandClientFraming, BrokenLengthFieldsEndTheConnection) {
  struct Case {
    uint32_t length;
    const char *line;
  } cases[] = {
      {5000, "ptz_socket_client_command_read_fd: Received a message larger than max (2560): len=5000"},
      {0x80000010u, "ptz_socket_client_command_read_fd: Received a message larger than max (2560): len=2147483664"},
      {4, nullptr},
      {0, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.length);
    LogCapture log;
    Pair pair;
    PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, pair.client, SOCK_STREAM);
    FramePeer peer(pair.peer, [&](const Reply &m) { return frame(m.id, std::string(3000, 'z'), c.length); });
    // The second send finds the connection over and fails without waiting.
    for (const char *payload : {"ask", "again"}) {
      gint64 start = g_get_monotonic_time();
      EXPECT_FALSE(sync_send(client, payload));
      EXPECT_LT(g_get_monotonic_time() - start, 5 * G_USEC_PER_SEC);
    }
    EXPECT_TRUE(c.line == nullptr || log.contains(LOG_ERR, c.line));
    g_object_unref(client);
  }
}

// select cannot watch descriptors of 1024 and above; the synchronous wait
// must work there all the same.
TEST(CommandClientFraming, SyncSendWorksOnHighDescriptors) {
  rlimit limit;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max < 1600) GTEST_SKIP() << "descriptor limit too low";
  limit.rlim_cur = MAX(limit.rlim_cur, rlim_t(1600));
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
  Pair pair;
  ASSERT_EQ(dup2(pair.client, 1500), 1500);
  PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, 1500, SOCK_STREAM);
  {
    FramePeer peer(pair.peer, [](const Reply &m) { return frame(m.id, m.payload); });
    std::string reply;
    for (int i = 0; i < 20; i++) {
      EXPECT_TRUE(sync_send(client, "high" + std::to_string(i), &reply));
      EXPECT_EQ(reply, "high" + std::to_string(i));
    }
    g_object_unref(client);
  }
  close(1500);
}

// A plain client hands every chunk to its callback and sends raw bytes; a
// send that fails (the peer never reads) pauses watching until add_poll.
TEST(SocketClient, PlainClientPausesAfterAFailedSendUntilAddPoll) {
  Pair pair;
  int size = 4096;
  setsockopt(pair.client, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  std::string received;
  PTZSocketClient *client = ptz_socket_client_new(PTZ_TYPE_SOCKET_CLIENT, nullptr, pair.client, SOCK_STREAM);
  ptz_socket_client_register_callback(
      client, [](gpointer data, const gchar *bytes, gsize n) { static_cast<std::string *>(data)->append(bytes, n); },
      &received);
  ASSERT_TRUE(send_all(pair.peer, "hello"));
  EXPECT_TRUE(iterate_until([&] { return received == "hello"; }));
  ASSERT_TRUE(ptz_socket_client_async_send(client, "raw", 3));
  EXPECT_EQ(read_bytes(pair.peer, 3), "raw");

  std::string chunk(65536, 'f');
  bool failed = false;
  for (int i = 0; i < 64 && !failed; i++) failed = !ptz_socket_client_async_send(client, chunk.data(), chunk.size());
  ASSERT_TRUE(failed);
  ASSERT_TRUE(send_all(pair.peer, ", paused"));
  iterate_for(200);
  EXPECT_EQ(received, "hello");
  ptz_socket_client_add_poll(client);
  EXPECT_TRUE(iterate_until([&] { return received == "hello, paused"; }));
  g_object_unref(client);
}

// The data-ready client only announces that the descriptor is readable and
// leaves the data to whoever reads it.
TEST(SocketClient, DataReadyClientLeavesTheReadingToItsCallback) {
  Pair pair;
  std::string announced;
  PTZSocketClient *client = ptz_socket_client_signal_data_ready_new(PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY,
                                                                     nullptr, pair.client, SOCK_STREAM);
  ptz_socket_client_register_callback(
      client,
      [](gpointer data, const gchar *bytes, gsize length) {
        *static_cast<std::string *>(data) = bytes == nullptr ? std::to_string(length) : "data";
      },
      &announced);
  ASSERT_TRUE(send_all(pair.peer, "ready"));
  EXPECT_TRUE(iterate_until([&] { return !announced.empty(); }));
  EXPECT_EQ(announced, "2560");
  EXPECT_EQ(read_bytes(pair.client, 5, 2000, false), "ready");
  g_object_unref(client);
}
