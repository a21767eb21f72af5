// The command server against a foreign peer speaking the framing from raw
// sockets: exact reply bytes, limits, reassembly per connection, and replies
// that reach only the connection their command came from.
#include <atomic>
#include <thread>
#include <vector>

#include "ptz_socket_server.h"
#include "raw_peer.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

struct Command {
  std::string payload;
  PTZSocketServerHandle *handle;  // NULL once answered
};

struct CommandServer : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("command.sock");
  std::vector<Command> received;
  bool answer = true;  // at once with "re:" + payload, else keep the handle
  gboolean result = TRUE;
  int nested_deliveries = -1;  // commands delivered when a nested main loop ended
  PTZSocketServerCommand *server = ptz_socket_server_command_new(path.c_str(), SOCK_STREAM);
  std::vector<int> peers;

  static gboolean on_command(gpointer data, PTZSocketServerHandle *handle, const gchar *payload, gsize length) {
    auto *self = static_cast<CommandServer *>(data);
    EXPECT_EQ(payload[length], '\0');
    std::string text(payload, length);
    if (self->answer) {
      std::string reply = "re:" + text;
      EXPECT_TRUE(ptz_socket_server_send(handle, reply.data(), reply.size()));
      handle = nullptr;
    }
    self->received.push_back({text, handle});
    return self->result;
  }
  void SetUp() override { ptz_socket_server_register_callback(PTZ_SOCKET_SERVER(server), on_command, this); }
  void TearDown() override {
    for (int fd : peers) close(fd);
    g_object_unref(server);
  }
  int peer() {
    peers.push_back(connect_raw(path));
    EXPECT_GE(peers.back(), 0);
    return peers.back();
  }
  bool wait_for(size_t n) {
    return iterate_until([&] { return received.size() >= n; });
  }
};

}  // namespace

TEST_F(CommandServer, ExactRepliesAndTheLargestMessage) {
  int fd = peer();
  ASSERT_TRUE(send_all(fd, frame(0x01020304, "abc")));
  std::string expected = std::string("\x0e\x00\x00\x00\x04\x03\x02\x01", 8) + "re:abc";
  EXPECT_EQ(read_bytes(fd, expected.size()), expected);

  // The largest message; a reply beyond the limit is refused and writes
  // nothing, so the next reply on the stream is the largest one.
  answer = false;
  std::string largest(2552, 'L');
  largest.front() = 'F';
  largest.back() = 'E';
  ASSERT_TRUE(send_all(fd, frame(7, largest) + frame(8, "big")));
  ASSERT_TRUE(wait_for(3));
  EXPECT_EQ(received[1].payload, largest);
  EXPECT_FALSE(ptz_socket_server_send(received[2].handle, (largest + "x").data(), largest.size() + 1));
  EXPECT_TRUE(ptz_socket_server_send(received[1].handle, largest.data(), largest.size()));
  Reply reply = read_reply(fd);
  EXPECT_EQ(reply.length, 2560u);
  EXPECT_EQ(reply.id, 7u);
  EXPECT_EQ(reply.payload, largest);
}

// Partial messages of several connections stay apart; a length field that
// cannot be framed closes only its own connection.
TEST_F(CommandServer, UnframeableLengthsCloseOnlyTheirConnection) {
  LogCapture log;
  int healthy = peer();
  ASSERT_TRUE(send_all(healthy, frame(1, "half").substr(0, 6)));
  for (uint32_t length : {2561u, 0x80000010u, 7u, 0u}) {
    int bad = peer();
    ASSERT_TRUE(send_all(bad, frame(1, std::string(64, 'z'), length)));
    EXPECT_TRUE(peer_closed(bad)) << "length " << length;
  }
  EXPECT_TRUE(
      log.contains(LOG_ERR, "ptz_socket_server_command_read: Received a message larger than max (2560): len=2561"));
  EXPECT_TRUE(received.empty());
  ASSERT_TRUE(send_all(healthy, frame(1, "half").substr(6)));
  EXPECT_EQ(read_reply(healthy).payload, "re:half");
}

// A bare header is consumed without delivery; messages that arrive in one
// write, or byte by byte, are delivered one by one, in order; a callback
// returning FALSE ends all serving.
TEST_F(CommandServer, MessagesArriveWholeAndInOrderUntilTheCallbackSaysFalse) {
  int fd = peer();
  ASSERT_TRUE(send_all(fd, frame(5, "") + frame(1, "first") + frame(2, "second")));
  EXPECT_EQ(read_reply(fd).id, 1u);
  EXPECT_EQ(read_reply(fd).id, 2u);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].payload, "second");

  for (char byte : frame(3, "byte by byte")) {
    ASSERT_TRUE(send_all(fd, std::string(1, byte)));
    iterate_for(2);
  }
  EXPECT_EQ(read_reply(fd).payload, "re:byte by byte");

  result = FALSE;
  ASSERT_TRUE(send_all(fd, frame(1, "last") + frame(2, "unheard")));
  EXPECT_EQ(read_reply(fd).payload, "re:last");
  iterate_for(200);
  EXPECT_EQ(received.size(), 4u);
}

TEST_F(CommandServer, LateReplyAnswersOnlyItsOwnConnection) {
  answer = false;
  int first = peer();
  ASSERT_TRUE(send_all(first, frame(1, "question")));
  ASSERT_TRUE(wait_for(1));
  PTZSocketServerHandle *late = received[0].handle;
  // The handle's first field is the connection's descriptor.
  int descriptor = *reinterpret_cast<int *>(late);

  // The first peer leaves; a newcomer is accepted into the same descriptor.
  close(first);
  peers.clear();
  iterate_for(100);
  int newcomer = peer();
  ASSERT_TRUE(send_all(newcomer, frame(3, "new")));
  ASSERT_TRUE(wait_for(2));
  PTZSocketServerHandle *fresh = received[1].handle;
  ASSERT_EQ(*reinterpret_cast<int *>(fresh), descriptor) << "descriptor not reused; nothing to check";

  EXPECT_FALSE(ptz_socket_server_send(late, "stale", 5));
  EXPECT_TRUE(ptz_socket_server_send(fresh, "fresh", 5));
  Reply reply = read_reply(newcomer);
  EXPECT_EQ(reply.id, 3u);
  EXPECT_EQ(reply.payload, "fresh");
}

// Two hundred clients in another process write at once, each message in two
// pieces, and each gets back exactly its own reply.
TEST_F(CommandServer, TwoHundredConcurrentClients) {
  constexpr int kClients = 200;
  Child clients([this] {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; i++) {
      threads.emplace_back([&, i] {
        int fd = connect_raw(path);
        std::string payload = "client " + std::to_string(i) + std::string(size_t(i) * 7, char('a' + i % 26));
        std::string message = frame(uint32_t(1000 + i), payload);
        bool ok = fd >= 0 && send_all(fd, message.substr(0, message.size() / 2));
        g_usleep(gulong(g_random_int_range(0, 2000)));
        ok = ok && send_all(fd, message.substr(message.size() / 2));
        Reply reply = read_reply(fd, 30000, false);
        if (!ok || reply.id != uint32_t(1000 + i) || reply.payload != "re:" + payload) failures++;
        close(fd);
      });
    }
    for (auto &t : threads) t.join();
    return failures.load();
  });
  int status = -1;
  EXPECT_TRUE(iterate_until([&] { return (status = clients.wait(0)) != -1; }, 60000));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(received.size(), size_t(kClients));
}

// A command callback that runs a main loop of its own gets no further
// command meanwhile, from any connection; they come after it returns.
TEST_F(CommandServer, NestedMainLoopInTheCallbackReceivesNoCommands) {
  answer = false;
  int first = peer(), second = peer();
  ASSERT_TRUE(send_all(first, frame(1, "outer") + frame(2, "same connection")));
  ASSERT_TRUE(wait_for(1));
  ASSERT_TRUE(send_all(second, frame(3, "other connection")));
  // From inside a callback: run the loop as a nested one would.
  ptz_socket_server_register_callback(
      PTZ_SOCKET_SERVER(server),
      [](gpointer data, PTZSocketServerHandle *handle, const gchar *payload, gsize length) -> gboolean {
        auto *self = static_cast<CommandServer *>(data);
        self->received.push_back({std::string(payload, length), handle});
        if (self->received.size() == 2) {
          iterate_for(300);
          self->nested_deliveries = int(self->received.size());
        }
        return TRUE;
      },
      this);
  EXPECT_TRUE(wait_for(3));
  // Nothing more than this command during the nested loop.
  EXPECT_EQ(nested_deliveries, 2);
  for (auto &command : received) ptz_socket_server_release_handle(command.handle);
}

// A command that is never answered gives its handle back without a reply
// (the leak checker of the sanitizer build sees any handle left over); the
// plain server's embedded handle and NULL are left alone.
TEST_F(CommandServer, UnansweredHandlesAreReleased) {
  answer = false;
  int fd = peer();
  for (int i = 0; i < 50; i++) ASSERT_TRUE(send_all(fd, frame(uint32_t(i), "never answered")));
  ASSERT_TRUE(wait_for(50));
  for (auto &command : received) ptz_socket_server_release_handle(command.handle);
  ptz_socket_server_release_handle(nullptr);
  PTZSocketServer *plain = ptz_socket_server_new(PTZ_TYPE_SOCKET_SERVER, dir.file("plain.sock").c_str(), SOCK_STREAM);
  plain->handle.server = plain;
  ptz_socket_server_release_handle(&plain->handle);
  EXPECT_EQ(plain->handle.server, plain);
  g_object_unref(plain);
  // The connection still works.
  answer = true;
  ASSERT_TRUE(send_all(fd, frame(99, "answered")));
  EXPECT_EQ(read_reply(fd).payload, "re:answered");
}

// The partial timeout counts from the first byte of the message still
// incomplete: a client whose every write ends inside its next message is
// never cut off, one that stops inside a message is.
TEST_F(CommandServer, PartialTimeoutCountsFromTheIncompleteMessage) {
  ptz_socket_server_set_partial_timeout(PTZ_SOCKET_SERVER(server), 300);
  int busy = peer(), stalled = peer();
  std::string stream;
  for (uint32_t i = 0; i < 12; i++) stream += frame(i, "message " + std::string(1, char('a' + i)));
  ASSERT_TRUE(send_all(stalled, frame(1, "never finished").substr(0, 10)));
  // After half a message, each piece finishes one message and begins the
  // next; 100 ms apart, 1.2 s in all, four times the timeout.
  const size_t message = stream.size() / 12;
  for (size_t at = 0, piece = message / 2; at < stream.size(); at += piece, piece = message) {
    ASSERT_TRUE(send_all(busy, stream.substr(at, piece)));
    iterate_for(100);
  }
  EXPECT_TRUE(wait_for(12));
  EXPECT_TRUE(peer_closed(stalled));
  ASSERT_TRUE(send_all(busy, frame(99, "still open")));
  for (int i = 0; i < 12; i++) EXPECT_EQ(read_reply(busy).id, uint32_t(i));
  EXPECT_EQ(read_reply(busy).payload, "re:still open");
}
