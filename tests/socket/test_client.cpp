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
  PTZSocketClient *client = ptz_socket_client_signal_data_ready_new(PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY, nullptr,
                                                                    pair.client, SOCK_STREAM);
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

// A command client on one end of a socket pair, the test's peer on the other.
class CommandClientDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    client = ptz_socket_client_command_new(nullptr, pair.client, SOCK_STREAM);
    ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), record_dispatch, nullptr);
  }
  void TearDown() override { g_object_unref(client); }
  // Sends a one-byte asynchronous command awaiting a reply; the peer reads it.
  void send_async(Token *token) {
    ASSERT_TRUE(ptz_socket_client_command_async_send(client, "a", 1, token));
    ASSERT_EQ(read_bytes(pair.peer, 9, 10000, false).size(), 9u);
  }
  // Waits until the client's end has something to read.
  void await_readable() {
    pollfd readable = {pair.client, POLLIN, 0};
    ASSERT_EQ(poll(&readable, 1, 10000), 1);
  }

  Pair pair;
  PTZSocketClientCommand *client = nullptr;
  Recorder recorder;
};

// Replies waiting together are delivered in one dispatch, in the order they
// came, whatever order their commands were sent in.
TEST_F(CommandClientDelivery, WaitingRepliesAreDeliveredInOneDispatchInOrder) {
  std::vector<Token> tokens;
  for (int i = 0; i < 5; i++) tokens.push_back({&recorder, i});
  for (auto &token : tokens) send_async(&token);
  std::string replies;
  for (int i : {3, 0, 4, 1, 2}) replies += frame(uint32_t(i), "r" + std::to_string(i));
  ASSERT_TRUE(send_all(pair.peer, replies));
  await_readable();
  g_main_context_iteration(nullptr, FALSE);
  EXPECT_EQ(recorder.summary(), "3:r3 0:r0 4:r4 1:r1 2:r2");
}

// A reply that a synchronous wait reads for another command is delivered
// later from the main context, once, and before replies that came after it,
// even when those are read by the client's source first.
TEST_F(CommandClientDelivery, RepliesReadBySyncWaitKeepTheirOrder) {
  Token first{&recorder, 0}, second{&recorder, 1};
  send_async(&first);
  send_async(&second);
  // The reply of the first command comes in front of the synchronous one.
  std::thread peer([&] {
    Reply sync = read_reply(pair.peer, 10000, false);
    send_all(pair.peer, frame(0, "first") + frame(sync.id, "sync"));
  });
  std::string reply;
  EXPECT_TRUE(sync_send(client, "s", &reply));
  peer.join();
  EXPECT_EQ(reply, "sync");
  EXPECT_EQ(recorder.size(), 0u);
  // The reply of the second comes after: both the idle delivery and the
  // source are ready at the next iteration.
  ASSERT_TRUE(send_all(pair.peer, frame(1, "second")));
  await_readable();
  EXPECT_TRUE(iterate_until([&] { return recorder.size() == 2; }));
  iterate_for(50);
  EXPECT_EQ(recorder.summary(), "0:first 1:second");
}

// While a thread waits in a synchronous send, a main loop on another thread
// keeps running, and a reply for an asynchronous command that arrives
// meanwhile reaches its dispatcher once, from that main loop.
TEST_F(CommandClientDelivery, MainLoopOnAnotherThreadKeepsRunningDuringSyncSend) {
  Token token{&recorder, 0};
  send_async(&token);
  // The peer answers the asynchronous command at once, the synchronous one
  // three seconds later.
  std::thread peer([&] {
    Reply sync = read_reply(pair.peer, 10000, false);
    send_all(pair.peer, frame(0, "async"));
    g_usleep(3 * G_USEC_PER_SEC);
    send_all(pair.peer, frame(sync.id, "sync"));
  });
  std::atomic<bool> sent{false}, answered{false};
  std::thread sender([&] {
    std::string reply;
    answered = sync_send(client, "s", &reply) && reply == "sync";
    sent = true;
  });
  // The main loop blocks in poll, so it sees the reply arrive as soon as the
  // waiting thread does; a dispatch stuck behind the synchronous wait would
  // stop its ticks for about three seconds.
  guint tick = g_timeout_add(
      10, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  gint64 last = g_get_monotonic_time(), longest = 0, deadline = last + 20 * G_USEC_PER_SEC;
  while (!sent && g_get_monotonic_time() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
    gint64 now = g_get_monotonic_time();
    longest = MAX(longest, now - last);
    last = now;
  }
  g_source_remove(tick);
  sender.join();
  peer.join();
  EXPECT_TRUE(answered);
  EXPECT_LT(longest, 1500 * 1000);
  EXPECT_TRUE(iterate_until([&] { return recorder.size() == 1; }));
  iterate_for(50);
  EXPECT_EQ(recorder.summary(), "0:async");
}

// A blocking descriptor handed in by the caller: a send that finds no room
// gives up after its time limit instead of blocking.
TEST(CommandClientBlocking, BlockingDescriptorNeverBlocksASend) {
  int sv[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
  int size = 4096;
  setsockopt(sv[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, sv[0], SOCK_STREAM);
  std::string payload(2552, 'p');
  bool failed = false;
  gint64 start = g_get_monotonic_time();
  for (int i = 0; i < 1000 && !failed; i++)
    failed = !ptz_socket_client_command_async_send(client, payload.data(), payload.size(), nullptr);
  EXPECT_TRUE(failed);
  EXPECT_FALSE(sync_send(client, payload));
  EXPECT_LT(g_get_monotonic_time() - start, 30 * G_USEC_PER_SEC);
  g_object_unref(client);
  close(sv[0]);
  close(sv[1]);
}
