// The command client against a command server in another process.
#include <sys/socket.h>

#include <string>
#include <vector>

#include "client_fixture.h"

namespace {

using velmora::testing::Child;
using velmora::testing::Recorder;
using velmora::testing::Token;

class CommandClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("commands.sock");
    server = std::make_unique<Child>([p = path] { return velmora::testing::serve_commands(p); });
    ASSERT_TRUE(velmora::testing::wait_for_listener(path));
    client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
    ASSERT_GE(PTZ_SOCKET(client)->fd, 0);
    ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), velmora::testing::record_dispatch, nullptr);
  }
  void TearDown() override {
    if (client != nullptr) g_object_unref(client);
  }

  bool sync(const std::string &payload, std::string *reply_text = nullptr) {
    return velmora::testing::sync_send(client, payload, reply_text);
  }
  bool async(const std::string &payload, Token *token) {
    return ptz_socket_client_command_async_send(client, payload.data(), payload.size(), token);
  }

  velmora::testing::TempDir dir;
  std::string path;
  std::unique_ptr<Child> server;
  PTZSocketClientCommand *client = nullptr;
  Recorder recorder;
};

TEST_F(CommandClientTest, SyncRoundTripsCarryTheirPayloads) {
  std::string reply;
  for (int i = 0; i < 10000; i++) {
    // Sizes sweep from empty to the largest payload; contents differ per call.
    size_t size = size_t(i * 37) % 2553;
    std::string payload(size, 'a');
    for (size_t k = 0; k < size; k++) payload[k] = char('a' + (i + k) % 26);
    if (size == 0) payload = "#" + std::to_string(i);
    ASSERT_TRUE(sync(payload, &reply)) << "command " << i;
    ASSERT_EQ(reply, payload) << "command " << i;
  }
  EXPECT_EQ(client->next_id, 10000u);
}

TEST_F(CommandClientTest, AsyncRepliesOutOfOrderReachTheirCommands) {
  Token one{&recorder, 1}, two{&recorder, 2}, three{&recorder, 3}, done{&recorder, 4};
  ASSERT_TRUE(async("hold:first", &one));
  ASSERT_TRUE(async("hold:second", &two));
  // Awaits nothing: its reply is dropped without reaching the dispatcher.
  ASSERT_TRUE(async("unawaited", nullptr));
  ASSERT_TRUE(async("hold:third", &three));
  ASSERT_TRUE(async("release", &done));
  EXPECT_TRUE(velmora::testing::iterate_until([&] { return recorder.size() == 4; }));
  velmora::testing::iterate_for(100);
  ASSERT_EQ(recorder.size(), 4u);
  EXPECT_EQ(recorder.calls[0].data, "third");
  EXPECT_EQ(recorder.of(1)[0].data, "first");
  EXPECT_EQ(recorder.of(2)[0].data, "second");
  EXPECT_EQ(recorder.of(3)[0].data, "third");
  EXPECT_EQ(recorder.of(4)[0].data, "released");
  EXPECT_EQ(recorder.of(4)[0].length, 8u);
}

TEST_F(CommandClientTest, AsyncReplyReadDuringSyncWaitArrivesLaterFromTheMainLoop) {
  Token early{&recorder, 1};
  ASSERT_TRUE(async("delay:30:early", &early));
  std::string reply;
  ASSERT_TRUE(sync("delay:300:sync", &reply));
  EXPECT_EQ(reply, "sync");
  // Read by the synchronous wait, handed to the main context, not delivered yet.
  EXPECT_EQ(recorder.size(), 0u);
  EXPECT_TRUE(velmora::testing::iterate_until([&] { return recorder.size() == 1; }));
  velmora::testing::iterate_for(50);
  ASSERT_EQ(recorder.size(), 1u);
  EXPECT_EQ(recorder.calls[0].data, "early");
}

TEST_F(CommandClientTest, ExpiryIsReportedOnceAndTheDispatcherMaySendAgain) {
  velmora::testing::ScopedTimeScale scale(0.002);  // 360 s -> 720 ms
  Token retried{&recorder, 2};
  Token silent{&recorder, 1, client, &retried};
  Token late{&recorder, 3};
  ASSERT_TRUE(async("silent", &silent));
  ASSERT_TRUE(async("delay:1500:too late", &late));
  EXPECT_TRUE(velmora::testing::iterate_until([&] { return recorder.of(2).size() == 1; }));
  // The late reply arrives after its command expired and is dropped.
  velmora::testing::iterate_for(1800);

  auto expired = recorder.of(1);
  ASSERT_EQ(expired.size(), 1u);
  EXPECT_TRUE(expired[0].null_data);
  EXPECT_EQ(expired[0].length, 0u);
  auto late_calls = recorder.of(3);
  ASSERT_EQ(late_calls.size(), 1u);
  EXPECT_TRUE(late_calls[0].null_data);
  // The command sent from inside the expiry call got its answer.
  EXPECT_EQ(recorder.retries_sent, 1);
  ASSERT_EQ(recorder.of(2).size(), 1u);
  EXPECT_EQ(recorder.of(2)[0].data, "retry");
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
  ASSERT_EQ(freed.size(), 2u);
  EXPECT_EQ(freed[0].first, 1);
  EXPECT_EQ(freed[1].first, 2);
  EXPECT_EQ(freed[0].second, &freed);
  velmora::testing::iterate_for(50);
  EXPECT_EQ(recorder.size(), 0u);
}

// The one test at the real time limit.
TEST_F(CommandClientTest, SyncSendGivesUpAfterTenSeconds) {
  velmora::testing::LogCapture log;
  gint64 start = g_get_monotonic_time();
  EXPECT_FALSE(sync("silent"));
  EXPECT_GE(g_get_monotonic_time() - start, 10 * G_USEC_PER_SEC - 1000);
  EXPECT_TRUE(log.contains(LOG_WARNING, "ptz_socket_client_command_sync_send: Timeout waiting for response to message 0!"));
  // Watching resumed: an asynchronous reply reaches the dispatcher again.
  Token token{&recorder, 1};
  ASSERT_TRUE(async("after", &token));
  EXPECT_TRUE(velmora::testing::iterate_until([&] { return recorder.size() == 1; }));
}

}  // namespace
