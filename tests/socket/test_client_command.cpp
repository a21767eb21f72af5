// The command client against a command server in another process.
#include <sys/socket.h>

#include <string>
#include <thread>
#include <vector>

#include "client_fixture.h"

using namespace velmora::testing;

namespace {

class CommandClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = start_server(path);
    client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
    ASSERT_GE(PTZ_SOCKET(client)->fd, 0);
    ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), record_dispatch, nullptr);
  }
  void TearDown() override {
    if (client != nullptr) g_object_unref(client);
  }
  bool async(const std::string &payload, Token *token) {
    return ptz_socket_client_command_async_send(client, payload.data(), payload.size(), token);
  }

  TempDir dir;
  std::string path = dir.file("commands.sock");
  std::unique_ptr<Child> server;
  PTZSocketClientCommand *client = nullptr;
  Recorder recorder;
};

}  // namespace

// Replies that arrive out of order reach their own commands; those read by a
// synchronous wait for another command are delivered later, in order, from
// the main loop; the reply to a command that awaits nothing is dropped.
TEST_F(CommandClientTest, AsyncRepliesReachTheirCommands) {
  Token first{&recorder, 1}, second{&recorder, 2}, third{&recorder, 3};
  ASSERT_TRUE(async("delay:300:first", &first));
  ASSERT_TRUE(async("delay:300:second", &second));
  ASSERT_TRUE(async("unawaited", nullptr));
  ASSERT_TRUE(async("delay:100:third", &third));
  std::string reply;
  ASSERT_TRUE(sync_send(client, "delay:600:sync", &reply));
  EXPECT_EQ(reply, "sync");
  EXPECT_EQ(recorder.size(), 0u);
  EXPECT_TRUE(iterate_until([&] { return recorder.size() == 3; }));
  iterate_for(100);
  EXPECT_EQ(recorder.summary(), "3:third 1:first 2:second");
}

TEST_F(CommandClientTest, ExpiryIsReportedOnceAndTheDispatcherMaySendAgain) {
  ScopedTimeScale scale(0.002);  // 360 s -> 720 ms
  Token retried{&recorder, 2};
  Token silent{&recorder, 1, client, &retried};
  Token late{&recorder, 3};
  ASSERT_TRUE(async("silent", &silent));
  ASSERT_TRUE(async("delay:1500:too late", &late));
  EXPECT_TRUE(iterate_until([&] { return recorder.of(2) == "retry"; }));
  // The late reply arrives after its command expired and is dropped.
  iterate_for(1800);
  EXPECT_EQ(recorder.of(1), "expired");
  EXPECT_EQ(recorder.of(3), "expired");
  // The command sent from inside the expiry call got its answer, once.
  EXPECT_EQ(recorder.of(2), "retry");
}

TEST_F(CommandClientTest, FinalizingWithPendingCommandsFreesTheirData) {
  Token a{&recorder, 1}, b{&recorder, 2};
  ASSERT_TRUE(async("silent", &a));
  ASSERT_TRUE(async("silent", &b));
  std::vector<std::pair<int, gpointer>> freed;
  ptz_socket_client_command_register_free_callback(
      client,
      [](gpointer data, gpointer free_data) {
        static_cast<std::vector<std::pair<int, gpointer>> *>(free_data)->emplace_back(
            static_cast<Token *>(data)->number, free_data);
      },
      &freed);
  g_object_unref(client);
  client = nullptr;
  EXPECT_EQ(freed, (std::vector<std::pair<int, gpointer>>{{1, &freed}, {2, &freed}}));
  iterate_for(50);
  EXPECT_EQ(recorder.size(), 0u);
}

// The one test at the real time limit.
TEST_F(CommandClientTest, SyncSendGivesUpAfterTenSeconds) {
  LogCapture log;
  gint64 start = g_get_monotonic_time();
  EXPECT_FALSE(sync_send(client, "silent"));
  EXPECT_GE(g_get_monotonic_time() - start, 10 * G_USEC_PER_SEC - 1000);
  EXPECT_TRUE(
      log.contains(LOG_WARNING, "ptz_socket_client_command_sync_send: Timeout waiting for response to message 0!"));
  // Watching resumed: an asynchronous reply reaches the dispatcher again.
  Token token{&recorder, 1};
  ASSERT_TRUE(async("after", &token));
  EXPECT_TRUE(iterate_until([&] { return recorder.size() == 1; }));
}

// Thousands of awaited commands answered in reverse order, by a peer on a
// socket pair, each reach their own command once; two pending commands that
// share an id (ids wrap) are answered oldest first; the pending list stays
// the documented one, oldest first.
TEST(CommandClientPending, ManyCommandsAnsweredInAnyOrderAndSharedIds) {
  constexpr int kCommands = 5000;
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  PTZSocketClientCommand *client = ptz_socket_client_command_new(nullptr, pair[0], SOCK_STREAM);
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), record_dispatch, nullptr);
  Recorder recorder;
  std::vector<Token> tokens;
  for (int i = 0; i < kCommands + 2; i++) tokens.push_back({&recorder, i});
  for (int i = 0; i < kCommands; i++) {
    ASSERT_TRUE(ptz_socket_client_command_async_send(client, "q", 1, &tokens[i]));
    ASSERT_EQ(read_bytes(pair[1], 9, 10000, false).size(), 9u);
  }
  // Two more under an id already waiting: the wrap of the id counter.
  for (int i = kCommands; i < kCommands + 2; i++) {
    client->next_id = 7;
    ASSERT_TRUE(ptz_socket_client_command_async_send(client, "q", 1, &tokens[i]));
    ASSERT_EQ(read_bytes(pair[1], 9, 10000, false).size(), 9u);
  }
  ASSERT_EQ(g_list_length(client->pending), guint(kCommands + 2));
  EXPECT_EQ(static_cast<PTZSocketPendingCommand *>(client->pending->data)->user_data, &tokens[0]);
  EXPECT_EQ(static_cast<PTZSocketPendingCommand *>(g_list_last(client->pending)->data)->user_data,
            &tokens[kCommands + 1]);

  std::string replies;
  for (int i = kCommands - 1; i >= 0; i--) replies += frame(uint32_t(i), "r" + std::to_string(i));
  replies += frame(7, "second 7") + frame(7, "third 7");
  std::thread writer([&] { send_all(pair[1], replies); });
  EXPECT_TRUE(iterate_until([&] { return recorder.size() == size_t(kCommands + 2); }, 60000));
  writer.join();
  EXPECT_EQ(client->pending, nullptr);
  int wrong = 0;
  for (int i = 0; i < kCommands; i++)
    if (i != 7 && recorder.of(i) != "r" + std::to_string(i)) wrong++;
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(recorder.of(7), "r7");
  EXPECT_EQ(recorder.of(kCommands), "second 7");
  EXPECT_EQ(recorder.of(kCommands + 1), "third 7");
  g_object_unref(client);
  close(pair[0]);
  close(pair[1]);
}
