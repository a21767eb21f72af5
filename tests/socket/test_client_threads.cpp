// test-labels: threaded
// The command client shared by threads, and outliving restarts of its server.
#include <sys/socket.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client_fixture.h"

namespace {

using velmora::testing::Child;
using velmora::testing::Recorder;
using velmora::testing::Token;

using velmora::testing::sync_send;

std::unique_ptr<Child> start_server(const std::string &path) {
  auto child = std::make_unique<Child>([path] { return velmora::testing::serve_commands(path); });
  EXPECT_TRUE(velmora::testing::wait_for_listener(path));
  return child;
}

// Threads send synchronously and asynchronously on one client while the main
// thread runs the main loop: every reply reaches its own sender, every
// awaited command is answered exactly once.
TEST(CommandClientThreads, ThreadsShareOneClient) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 300;
  velmora::testing::TempDir dir;
  std::string path = dir.file("shared.sock");
  auto server = start_server(path);
  PTZSocketClientCommand *client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), velmora::testing::record_dispatch, nullptr);
  Recorder recorder;
  std::vector<std::unique_ptr<Token>> tokens;
  for (int i = 0; i < kThreads * kRounds; i++) tokens.push_back(std::make_unique<Token>(Token{&recorder, i}));

  std::atomic<int> mismatches{0}, failures{0}, finished{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; t++)
    senders.emplace_back([&, t] {
      std::string reply;
      for (int r = 0; r < kRounds; r++) {
        int n = t * kRounds + r;
        std::string payload = "t" + std::to_string(t) + "r" + std::to_string(r);
        if (!sync_send(client, payload, &reply)) failures++;
        else if (reply != payload) mismatches++;
        if (!ptz_socket_client_command_async_send(client, payload.data(), payload.size(), tokens[n].get()))
          failures++;
      }
      finished++;
    });
  EXPECT_TRUE(velmora::testing::iterate_until(
      [&] { return finished == kThreads && recorder.size() == size_t(kThreads * kRounds); }, 60000));
  for (auto &s : senders) s.join();
  velmora::testing::iterate_for(100);

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(mismatches.load(), 0);
  ASSERT_EQ(recorder.size(), size_t(kThreads * kRounds));
  for (int n = 0; n < kThreads * kRounds; n++) {
    auto calls = recorder.of(n);
    ASSERT_EQ(calls.size(), 1u) << n;
    EXPECT_EQ(calls[0].data, "t" + std::to_string(n / kRounds) + "r" + std::to_string(n % kRounds));
  }
  // Every framed message drew its own id.
  EXPECT_EQ(client->next_id, guint32(2 * kThreads * kRounds));
  g_object_unref(client);
}

// The server goes away in the middle of a run and comes back: commands that
// can no longer be answered are reported at once, sends fail promptly while
// it is away, and the same client works again once it is back.
TEST(CommandClientThreads, ClientSurvivesServerRestarts) {
  velmora::testing::TempDir dir;
  std::string path = dir.file("restart.sock");
  // Made before any server listens.
  PTZSocketClientCommand *client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), velmora::testing::record_dispatch, nullptr);
  Recorder recorder;
  std::vector<std::unique_ptr<Token>> tokens;
  for (int i = 0; i < 16; i++) tokens.push_back(std::make_unique<Token>(Token{&recorder, i}));

  auto reconnected = [&] {
    std::string reply;
    return velmora::testing::iterate_until(
        [&] {
          velmora::testing::iterate_for(20);
          return sync_send(client, "back?", &reply) && reply == "back?";
        },
        15000);
  };

  auto server = start_server(path);
  ASSERT_TRUE(reconnected());
  // Replies to asynchronous commands come through the client's source, which
  // must be watching the descriptor obtained by reconnection.
  ASSERT_TRUE(ptz_socket_client_command_async_send(client, "a0", 2, tokens[0].get()));
  EXPECT_TRUE(velmora::testing::iterate_until([&] { return recorder.of(0).size() == 1; }));

  for (int round = 1; round <= 2; round++) {
    SCOPED_TRACE(round);
    // Two commands the server will never answer, then the server dies.
    ASSERT_TRUE(ptz_socket_client_command_async_send(client, "silent", 6, tokens[round * 4].get()));
    ASSERT_TRUE(ptz_socket_client_command_async_send(client, "silent", 6, tokens[round * 4 + 1].get()));
    velmora::testing::iterate_for(50);
    if (round == 1) {
      server->kill(SIGKILL);
      server->wait();
    } else {
      // Ends itself while a synchronous send waits for its answer.
      EXPECT_FALSE(sync_send(client, "exit"));
      server->wait();
    }
    // Reported as expired long before the 360 s limit, once each.
    EXPECT_TRUE(velmora::testing::iterate_until(
        [&] { return recorder.of(round * 4).size() == 1 && recorder.of(round * 4 + 1).size() == 1; }, 5000));
    EXPECT_TRUE(recorder.of(round * 4)[0].null_data);

    // While the server is away, sends fail without waiting.
    velmora::testing::iterate_for(20);
    gint64 start = g_get_monotonic_time();
    EXPECT_FALSE(sync_send(client, "nobody"));
    EXPECT_FALSE(ptz_socket_client_command_async_send(client, "nobody", 6, tokens[round * 4 + 2].get()));
    EXPECT_LT(g_get_monotonic_time() - start, 5 * G_USEC_PER_SEC);

    server = start_server(path);
    ASSERT_TRUE(reconnected());
    ASSERT_TRUE(ptz_socket_client_command_async_send(client, "again", 5, tokens[round * 4 + 3].get()));
    EXPECT_TRUE(velmora::testing::iterate_until([&] { return recorder.of(round * 4 + 3).size() == 1; }));
    EXPECT_EQ(recorder.of(round * 4 + 3)[0].data, "again");
  }
  velmora::testing::iterate_for(100);
  // The refused commands never reached the dispatcher; nothing twice.
  EXPECT_TRUE(recorder.of(6).empty());
  EXPECT_TRUE(recorder.of(10).empty());
  EXPECT_EQ(recorder.size(), 7u);
  g_object_unref(client);
}

}  // namespace
