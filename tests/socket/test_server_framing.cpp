// The command server against a foreign peer that speaks the framing from
// raw sockets: exact reply bytes, limits, reassembly per connection, and
// replies that reach only the connection their command came from.
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "ptz_socket_server.h"
#include "server_peer.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

struct Command {
  std::string payload;
  PTZSocketServerHandle *handle;
};

// Records every command; answers at once with "re:" + payload unless told to
// keep the handles for later.
struct Commands {
  std::vector<Command> received;
  bool answer = true;
  gboolean result = TRUE;
};

gboolean on_command(gpointer data, PTZSocketServerHandle *handle, const gchar *payload, gsize length) {
  auto *commands = static_cast<Commands *>(data);
  EXPECT_EQ(payload[length], '\0');
  std::string text(payload, length);
  if (commands->answer) {
    std::string reply = "re:" + text;
    EXPECT_TRUE(ptz_socket_server_send(handle, reply.data(), reply.size()));
    handle = nullptr;
  }
  commands->received.push_back({text, handle});
  return commands->result;
}

struct CommandServer : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("command.sock");
  Commands commands;
  PTZSocketServerCommand *server = nullptr;
  std::vector<int> peers;

  void SetUp() override {
    server = ptz_socket_server_command_new(path.c_str(), SOCK_STREAM);
    ASSERT_GE(PTZ_SOCKET(server)->fd, 0);
    ptz_socket_server_register_callback(PTZ_SOCKET_SERVER(server), on_command, &commands);
  }
  void TearDown() override {
    for (int fd : peers) close(fd);
    g_object_unref(server);
  }
  int peer() {
    int fd = connect_raw(path);
    EXPECT_GE(fd, 0);
    peers.push_back(fd);
    return fd;
  }
  bool wait_for(size_t n) {
    return iterate_until([&] { return commands.received.size() >= n; });
  }
};

}  // namespace

TEST_F(CommandServer, ReplyCarriesTheRequestIdAndExactBytes) {
  int fd = peer();
  ASSERT_TRUE(send_all(fd, frame(0x01020304, "abc")));
  ASSERT_TRUE(wait_for(1));
  EXPECT_EQ(commands.received[0].payload, "abc");
  std::string expected = std::string("\x0e\x00\x00\x00\x04\x03\x02\x01", 8) + "re:abc";
  EXPECT_EQ(read_bytes(fd, expected.size()), expected);
}

TEST_F(CommandServer, LargestMessageAndLengthLimits) {
  LogCapture log;
  commands.answer = false;
  int fd = peer();
  std::string largest(2552, 'L');
  largest[0] = 'F';
  largest[2551] = 'E';
  ASSERT_TRUE(send_all(fd, frame(7, largest)));
  ASSERT_TRUE(wait_for(1));
  EXPECT_EQ(commands.received[0].payload, largest);
  // The largest reply goes out whole.
  EXPECT_TRUE(ptz_socket_server_send(commands.received[0].handle, largest.data(), largest.size()));
  Reply reply = read_reply(fd);
  EXPECT_TRUE(reply.ok);
  EXPECT_EQ(reply.length, 2560u);
  EXPECT_EQ(reply.id, 7u);
  EXPECT_EQ(reply.payload, largest);

  // Lengths that cannot be framed close only their own connection.
  int healthy = peer();
  for (uint32_t length : {2561u, 0x80000010u, 7u, 0u}) {
    int bad = peer();
    ASSERT_TRUE(send_all(bad, header(length, 1) + std::string(64, 'z')));
    EXPECT_TRUE(peer_closed(bad)) << "length " << length;
    iterate_for(20);
  }
  EXPECT_TRUE(log.contains(LOG_ERR,
                           "ptz_socket_server_command_read: Received a message larger than max (2560): len=2561"));
  EXPECT_EQ(commands.received.size(), 1u);
  ASSERT_TRUE(send_all(healthy, frame(9, "still here")));
  ASSERT_TRUE(wait_for(2));
  ASSERT_NE(commands.received[1].handle, nullptr);
  // A reply beyond the framing's limit is refused and nothing is written.
  std::string too_big(2553, 'x');
  EXPECT_FALSE(ptz_socket_server_send(commands.received[1].handle, too_big.data(), too_big.size()));
  EXPECT_EQ(read_bytes(healthy, 1, 200), "");
}

TEST_F(CommandServer, BareHeaderIsConsumedWithoutDelivery) {
  int fd = peer();
  ASSERT_TRUE(send_all(fd, header(8, 5)));
  ASSERT_TRUE(send_all(fd, frame(6, "after")));
  ASSERT_TRUE(wait_for(1));
  EXPECT_EQ(commands.received[0].payload, "after");
  Reply reply = read_reply(fd);
  EXPECT_EQ(reply.id, 6u);
  EXPECT_EQ(reply.payload, "re:after");
  EXPECT_EQ(commands.received.size(), 1u);
}

TEST_F(CommandServer, MessagesTogetherOrInSingleBytes) {
  int fd = peer();
  ASSERT_TRUE(send_all(fd, frame(1, "first") + frame(2, "second")));
  ASSERT_TRUE(wait_for(2));
  EXPECT_EQ(commands.received[0].payload, "first");
  EXPECT_EQ(commands.received[1].payload, "second");
  EXPECT_EQ(read_reply(fd).id, 1u);
  EXPECT_EQ(read_reply(fd).id, 2u);

  std::string split = frame(3, "byte by byte");
  for (char byte : split) {
    ASSERT_TRUE(send_all(fd, std::string(1, byte)));
    iterate_for(2);
  }
  ASSERT_TRUE(wait_for(3));
  EXPECT_EQ(commands.received[2].payload, "byte by byte");
  EXPECT_EQ(read_reply(fd).payload, "re:byte by byte");
}

TEST_F(CommandServer, InterleavedClientsNeverMix) {
  int slow = peer();
  int quick = peer();
  std::string slow_message = frame(10, "slow client's command");
  ASSERT_TRUE(send_all(slow, slow_message.substr(0, 6)));
  iterate_for(50);
  ASSERT_TRUE(send_all(quick, frame(20, "quick")));
  ASSERT_TRUE(wait_for(1));
  EXPECT_EQ(commands.received[0].payload, "quick");
  Reply quick_reply = read_reply(quick);
  EXPECT_EQ(quick_reply.id, 20u);
  EXPECT_EQ(quick_reply.payload, "re:quick");
  ASSERT_TRUE(send_all(slow, slow_message.substr(6)));
  ASSERT_TRUE(wait_for(2));
  EXPECT_EQ(commands.received[1].payload, "slow client's command");
  Reply slow_reply = read_reply(slow);
  EXPECT_EQ(slow_reply.id, 10u);
  EXPECT_EQ(slow_reply.payload, "re:slow client's command");
}

TEST_F(CommandServer, PeerThatDisappearsMidMessage) {
  int before = open_descriptors();
  int gone = connect_raw(path);
  std::string message = frame(1, "never finished");
  ASSERT_TRUE(send_all(gone, message.substr(0, 11)));
  iterate_for(50);
  close(gone);
  EXPECT_TRUE(iterate_until([&] { return open_descriptors() == before; }));
  EXPECT_TRUE(commands.received.empty());
  int fd = peer();
  ASSERT_TRUE(send_all(fd, frame(2, "next")));
  EXPECT_EQ(read_reply(fd).payload, "re:next");
}

TEST_F(CommandServer, LateReplyAnswersOnlyItsOwnConnection) {
  commands.answer = false;
  int first = peer();
  ASSERT_TRUE(send_all(first, frame(1, "question")));
  ASSERT_TRUE(wait_for(1));
  PTZSocketServerHandle *late = commands.received[0].handle;

  // Answered later, outside the callback.
  int other = peer();
  ASSERT_TRUE(send_all(other, frame(2, "other")));
  ASSERT_TRUE(wait_for(2));
  EXPECT_TRUE(ptz_socket_server_send(commands.received[1].handle, "later", 5));
  EXPECT_EQ(read_reply(other).payload, "later");

  // The first peer leaves; a newcomer is accepted into the same descriptor.
  int first_fd_on_server = *reinterpret_cast<int *>(late);
  close(first);
  peers.erase(peers.begin());
  iterate_for(100);
  int newcomer = peer();
  ASSERT_TRUE(send_all(newcomer, frame(3, "new")));
  ASSERT_TRUE(wait_for(3));
  PTZSocketServerHandle *fresh = commands.received[2].handle;
  ASSERT_EQ(*reinterpret_cast<int *>(fresh), first_fd_on_server) << "descriptor was not reused";

  EXPECT_FALSE(ptz_socket_server_send(late, "stale", 5));
  EXPECT_EQ(read_bytes(newcomer, 1, 200), "");
  EXPECT_TRUE(ptz_socket_server_send(fresh, "fresh", 5));
  Reply reply = read_reply(newcomer);
  EXPECT_EQ(reply.id, 3u);
  EXPECT_EQ(reply.payload, "fresh");
}

TEST_F(CommandServer, CallbackFalseEndsServing) {
  commands.result = FALSE;
  int fd = peer();
  ASSERT_TRUE(send_all(fd, frame(1, "last") + frame(2, "unheard")));
  ASSERT_TRUE(wait_for(1));
  EXPECT_EQ(read_reply(fd).payload, "re:last");
  iterate_for(200);
  EXPECT_EQ(commands.received.size(), 1u);
}

// Two hundred clients in another process write at once, each its message in
// two pieces, and each must get back exactly its own reply.
TEST_F(CommandServer, TwoHundredConcurrentClientsGetTheirOwnReplies) {
  constexpr int kClients = 200;
  std::string socket_path = path;
  Child clients([socket_path] {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int i = 0; i < kClients; i++) {
      threads.emplace_back([&, i] {
        int fd = connect_raw(socket_path);
        if (fd < 0) {
          failures++;
          return;
        }
        std::string payload = "client " + std::to_string(i) + std::string(size_t(i) * 7, char('a' + i % 26));
        std::string message = frame(uint32_t(1000 + i), payload);
        size_t half = message.size() / 2;
        bool ok = send_all(fd, message.substr(0, half));
        g_usleep(gulong(g_random_int_range(0, 2000)));
        ok = ok && send_all(fd, message.substr(half));
        Reply reply = read_reply(fd, 30000, false);
        if (!ok || !reply.ok || reply.id != uint32_t(1000 + i) || reply.payload != "re:" + payload) failures++;
        close(fd);
      });
    }
    for (auto &t : threads) t.join();
    return failures.load() == 0 ? 0 : 1;
  });
  EXPECT_TRUE(iterate_until([&] { return commands.received.size() >= size_t(kClients); }, 60000));
  int status = -2;
  EXPECT_TRUE(iterate_until([&] { return (status = clients.wait(0)) != -1 || !clients.running(); }, 30000));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(commands.received.size(), size_t(kClients));
}
