// test-labels: threaded
// Socket clients against raw peers: framing, ids, hostile length fields,
// descriptor numbers beyond select's reach, pausing, and reconnection.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "client_fixture.h"

namespace {

using velmora::testing::Recorder;
using velmora::testing::Message;
using velmora::testing::Token;

// Answers every framed message on `fd` from a thread with what `answer`
// returns (raw bytes; empty for no answer) until the client hangs up.
class FramePeer {
 public:
  FramePeer(int fd, std::function<std::string(const Message &)> answer)
      : fd_(fd), thread_([this, answer] {
          for (;;) {
            Message message = velmora::testing::read_message(fd_, 200);
            if (!message.ok) {
              if (stop_ || velmora::testing::peer_closed(fd_)) return;
              continue;
            }
            {
              std::lock_guard<std::mutex> lock(mutex_);
              ids_.push_back(message.id);
            }
            std::string bytes = answer(message);
            if (!bytes.empty()) velmora::testing::send_all(fd_, bytes);
          }
        }) {}
  ~FramePeer() {
    stop_ = true;
    thread_.join();
  }
  std::vector<uint32_t> ids() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ids_;
  }

 private:
  int fd_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<uint32_t> ids_;
  std::thread thread_;
};

std::string echo(const Message &message) { return velmora::testing::frame(message.id, message.payload); }

struct Pair {
  int client = -1, peer = -1;
  Pair() {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0) {
      client = sv[0];
      peer = sv[1];
      // Like every descriptor the library opens itself.
      fcntl(client, F_SETFL, fcntl(client, F_GETFL) | O_NONBLOCK);
    }
  }
  ~Pair() {
    if (client >= 0) close(client);
    if (peer >= 0) close(peer);
  }
};

using velmora::testing::sync_send;

TEST(CommandClientFraming, IdsCountFromZeroAcrossSyncAndAsync) {
  Pair pair;
  PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, pair.client, SOCK_STREAM);
  Recorder recorder;
  Token token{&recorder, 1};
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), velmora::testing::record_dispatch, nullptr);
  {
    FramePeer peer(pair.peer, echo);
    std::string reply;
    EXPECT_TRUE(sync_send(client, "one", &reply));
    EXPECT_EQ(reply, "one");
    EXPECT_TRUE(ptz_socket_client_command_async_send(client, "two", 3, &token));
    EXPECT_TRUE(ptz_socket_client_command_async_send(client, "three", 5, nullptr));
    EXPECT_TRUE(sync_send(client, "", &reply));
    EXPECT_EQ(reply, "");
    EXPECT_TRUE(velmora::testing::iterate_until([&] { return recorder.size() == 1; }));
    EXPECT_EQ(peer.ids(), (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(recorder.of(1)[0].data, "two");
    g_object_unref(client);
  }
  // The descriptor was the caller's: still open.
  EXPECT_EQ(fcntl(pair.client, F_GETFD), 0);
}

TEST(CommandClientFraming, OversizedPayloadIsRefused) {
  Pair pair;
  PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, pair.client, SOCK_STREAM);
  std::string payload(2553, 'x');
  EXPECT_FALSE(sync_send(client, payload));
  EXPECT_FALSE(ptz_socket_client_command_async_send(client, payload.data(), payload.size(), nullptr));
  EXPECT_EQ(client->next_id, 0u);
  g_object_unref(client);
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
    velmora::testing::LogCapture log;
    Pair pair;
    PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, pair.client, SOCK_STREAM);
    {
      FramePeer peer(pair.peer, [&](const Message &message) {
        return velmora::testing::header(c.length, message.id) + std::string(3000, 'z');
      });
      gint64 start = g_get_monotonic_time();
      EXPECT_FALSE(sync_send(client, "ask"));
      EXPECT_LT(g_get_monotonic_time() - start, 5 * G_USEC_PER_SEC);
      if (c.line != nullptr) {
        EXPECT_TRUE(log.contains(LOG_ERR, c.line));
      }
      // The connection is over: the next send fails without waiting.
      start = g_get_monotonic_time();
      EXPECT_FALSE(sync_send(client, "again"));
      EXPECT_LT(g_get_monotonic_time() - start, 5 * G_USEC_PER_SEC);
      g_object_unref(client);
    }
  }
}

// select cannot watch descriptors of 1024 and above; the synchronous wait
// must work there all the same.
TEST(CommandClientFraming, SyncSendWorksOnHighDescriptors) {
  rlimit limit;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max < 1600) GTEST_SKIP() << "descriptor limit too low";
  rlimit raised = limit;
  raised.rlim_cur = MAX(limit.rlim_cur, rlim_t(1600));
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
  Pair pair;
  ASSERT_EQ(dup2(pair.client, 1500), 1500);
  PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, 1500, SOCK_STREAM);
  {
    FramePeer peer(pair.peer, echo);
    std::string reply;
    for (int i = 0; i < 20; i++) {
      EXPECT_TRUE(sync_send(client, "high" + std::to_string(i), &reply));
      EXPECT_EQ(reply, "high" + std::to_string(i));
    }
    g_object_unref(client);
    close(1500);
  }
  setrlimit(RLIMIT_NOFILE, &limit);
}

// A broken frame from a server with a path: the client drops that
// connection, reconnects and works again.
TEST(CommandClientFraming, BrokenFrameFromServerLeadsToReconnection) {
  velmora::testing::TempDir dir;
  std::string path = dir.file("broken.sock");
  int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  g_strlcpy(address.sun_path, path.c_str(), sizeof(address.sun_path));
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  std::atomic<int> connections{0};
  std::thread server([&] {
    for (int n = 0; n < 2; n++) {
      int fd = accept(listener, nullptr, nullptr);
      if (fd < 0) return;
      connections++;
      Message message;
      // The first connection gets a broken frame, the second proper replies.
      while ((message = velmora::testing::read_message(fd, 15000)).ok) {
        velmora::testing::send_all(fd, n == 0 ? velmora::testing::header(2561, message.id)
                                              : velmora::testing::frame(message.id, "fine"));
        if (n == 0) break;
      }
      if (n == 0) velmora::testing::read_bytes(fd, 1, 5000);  // until the client drops it
      close(fd);
    }
  });
  PTZSocketClientCommand *client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
  EXPECT_FALSE(sync_send(client, "first"));
  std::string reply;
  EXPECT_TRUE(velmora::testing::iterate_until(
      [&] {
        velmora::testing::iterate_for(50);
        return sync_send(client, "second", &reply);
      },
      15000));
  EXPECT_EQ(reply, "fine");
  EXPECT_EQ(connections.load(), 2);
  g_object_unref(client);
  shutdown(listener, SHUT_RDWR);
  server.join();
  close(listener);
}

TEST(SocketClient, PlainClientDeliversChunksAndDataReadyLeavesReading) {
  Pair plain_pair, ready_pair;
  std::string received;
  PTZSocketClient *plain = ptz_socket_client_new(PTZ_TYPE_SOCKET_CLIENT, nullptr, plain_pair.client, SOCK_STREAM);
  ptz_socket_client_register_callback(
      plain, [](gpointer data, const gchar *bytes, gsize length) { static_cast<std::string *>(data)->append(bytes, length); },
      &received);
  struct Ready {
    int fd;
    std::string read;
    gsize announced = 0;
  } ready{ready_pair.client, {}, 0};
  PTZSocketClient *data_ready = ptz_socket_client_signal_data_ready_new(
      PTZ_TYPE_SOCKET_CLIENT_SIGNAL_DATA_READY, nullptr, ready_pair.client, SOCK_STREAM);
  ptz_socket_client_register_callback(
      data_ready,
      [](gpointer data, const gchar *bytes, gsize length) {
        auto *r = static_cast<Ready *>(data);
        EXPECT_EQ(bytes, nullptr);
        r->announced = length;
        char buffer[64];
        ssize_t n = read(r->fd, buffer, sizeof buffer);
        if (n > 0) r->read.append(buffer, size_t(n));
      },
      &ready);

  ASSERT_TRUE(velmora::testing::send_all(plain_pair.peer, "hello"));
  ASSERT_TRUE(velmora::testing::send_all(ready_pair.peer, "ready"));
  EXPECT_TRUE(velmora::testing::iterate_until([&] { return received == "hello" && ready.read == "ready"; }));
  EXPECT_EQ(ready.announced, 2560u);
  // Sending raw bytes: no framing.
  ASSERT_TRUE(ptz_socket_client_async_send(plain, "raw", 3));
  EXPECT_EQ(velmora::testing::read_bytes(plain_pair.peer, 3, 2000), "raw");
  g_object_unref(plain);
  g_object_unref(data_ready);
}

TEST(SocketClient, FailedRawSendPausesWatchingUntilAddPoll) {
  Pair pair;
  int size = 4096;
  setsockopt(pair.client, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  std::string received;
  PTZSocketClient *client = ptz_socket_client_new(PTZ_TYPE_SOCKET_CLIENT, nullptr, pair.client, SOCK_STREAM);
  ptz_socket_client_register_callback(
      client, [](gpointer data, const gchar *bytes, gsize length) { static_cast<std::string *>(data)->append(bytes, length); },
      &received);
  // The peer never reads: the socket fills up and a send times out.
  std::string chunk(65536, 'f');
  bool failed = false;
  for (int i = 0; i < 64 && !failed; i++) failed = !ptz_socket_client_async_send(client, chunk.data(), chunk.size());
  ASSERT_TRUE(failed);

  ASSERT_TRUE(velmora::testing::send_all(pair.peer, "while paused"));
  velmora::testing::iterate_for(200);
  EXPECT_EQ(received, "");
  ptz_socket_client_add_poll(client);
  EXPECT_TRUE(velmora::testing::iterate_until([&] { return received == "while paused"; }));
  g_object_unref(client);
}

// A plain client made while its server is absent watches the descriptor that
// reconnection obtains later.
TEST(SocketClient, ClientFollowsTheDescriptorOfReconnection) {
  velmora::testing::TempDir dir;
  std::string path = dir.file("plain.sock");
  std::string received;
  PTZSocketClient *client = ptz_socket_client_new(PTZ_TYPE_SOCKET_CLIENT, path.c_str(), -1, SOCK_STREAM);
  ptz_socket_client_register_callback(
      client, [](gpointer data, const gchar *bytes, gsize length) { static_cast<std::string *>(data)->append(bytes, length); },
      &received);
  EXPECT_EQ(PTZ_SOCKET(client)->fd, -1);

  PTZSocketServer *server = ptz_socket_server_new(PTZ_TYPE_SOCKET_SERVER, path.c_str(), SOCK_STREAM);
  ptz_socket_server_register_callback(
      server,
      [](gpointer, PTZSocketServerHandle *handle, const gchar *, gsize) -> gboolean {
        ptz_socket_server_send(handle, "pong", 4);
        return TRUE;
      },
      nullptr);
  EXPECT_TRUE(velmora::testing::iterate_until([&] { return PTZ_SOCKET(client)->fd >= 0; }, 10000));
  ASSERT_TRUE(ptz_socket_client_async_send(client, "ping", 4));
  EXPECT_TRUE(velmora::testing::iterate_until([&] { return received == "pong"; }));
  g_object_unref(client);
  g_object_unref(server);
}

}  // namespace
