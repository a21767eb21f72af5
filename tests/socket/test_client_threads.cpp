// test-labels: threaded
// The command client shared by threads, and outliving restarts of its server.
#include <sys/socket.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client_fixture.h"

using namespace velmora::testing;

namespace {

std::vector<std::unique_ptr<Token>> make_tokens(Recorder *recorder, int n) {
  std::vector<std::unique_ptr<Token>> tokens;
  for (int i = 0; i < n; i++) tokens.push_back(std::make_unique<Token>(Token{recorder, i}));
  return tokens;
}

// Payload of round r of thread t: names both, and its size sweeps from a few
// bytes to the largest payload, so messages also arrive in several pieces.
std::string payload_of(int t, int r) {
  std::string text = "t" + std::to_string(t) + "r" + std::to_string(r) + ":";
  for (size_t i = text.size(), size = size_t(t * 997 + r * 37) % 2553; i < size; i++) text += char('a' + (i + r) % 26);
  return text;
}

}  // namespace

// Threads send synchronously and asynchronously on one client while the main
// thread runs the main loop: every reply reaches its own sender, every
// awaited command is answered exactly once.
TEST(CommandClientThreads, ThreadsShareOneClient) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 300;
  TempDir dir;
  std::string path = dir.file("shared.sock");
  auto server = start_server(path);
  PTZSocketClientCommand *client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), record_dispatch, nullptr);
  Recorder recorder;
  auto tokens = make_tokens(&recorder, kThreads * kRounds);

  std::atomic<int> failures{0}, finished{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; t++)
    senders.emplace_back([&, t] {
      std::string reply;
      for (int r = 0; r < kRounds; r++) {
        std::string payload = payload_of(t, r);
        if (!sync_send(client, payload, &reply) || reply != payload) failures++;
        if (!ptz_socket_client_command_async_send(client, payload.data(), payload.size(),
                                                  tokens[t * kRounds + r].get()))
          failures++;
      }
      finished++;
    });
  EXPECT_TRUE(
      iterate_until([&] { return finished == kThreads && recorder.size() == size_t(kThreads * kRounds); }, 60000));
  for (auto &s : senders) s.join();
  iterate_for(100);

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(recorder.size(), size_t(kThreads * kRounds));
  for (int n = 0; n < kThreads * kRounds; n++) ASSERT_EQ(recorder.of(n), payload_of(n / kRounds, n % kRounds));
  // Every framed message drew its own id.
  EXPECT_EQ(client->next_id, guint32(2 * kThreads * kRounds));
  g_object_unref(client);
}

// The server goes away in the middle of a run and comes back: commands that
// can no longer be answered are reported at once, sends fail promptly while
// it is away, and the same client works again once it is back.
TEST(CommandClientThreads, ClientSurvivesServerRestarts) {
  TempDir dir;
  std::string path = dir.file("restart.sock");
  // Made before any server listens.
  PTZSocketClientCommand *client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), record_dispatch, nullptr);
  Recorder recorder;
  auto tokens = make_tokens(&recorder, 12);
  auto send = [&](const char *payload, int token) {
    return ptz_socket_client_command_async_send(client, payload, strlen(payload), tokens[token].get());
  };
  auto reconnected = [&] {
    std::string reply;
    return iterate_until(
        [&] {
          iterate_for(20);
          return sync_send(client, "back?", &reply) && reply == "back?";
        },
        15000);
  };

  auto server = start_server(path);
  ASSERT_TRUE(reconnected());
  // Replies to asynchronous commands come through the client's source, which
  // must be watching the descriptor obtained by reconnection.
  ASSERT_TRUE(send("a0", 0));
  EXPECT_TRUE(iterate_until([&] { return recorder.of(0) == "a0"; }));

  for (int round = 1; round <= 2; round++) {
    SCOPED_TRACE(round);
    const int first = round * 4;
    // Two commands the server will never answer, then the server dies.
    ASSERT_TRUE(send("silent", first));
    ASSERT_TRUE(send("silent", first + 1));
    iterate_for(50);
    if (round == 1) {
      server->kill(SIGKILL);
    } else {
      // Ends itself while a synchronous send waits for its answer.
      EXPECT_FALSE(sync_send(client, "exit"));
    }
    server->wait();
    // Reported as expired long before the 360 s limit, once each.
    EXPECT_TRUE(
        iterate_until([&] { return recorder.of(first) == "expired" && recorder.of(first + 1) == "expired"; }, 5000));

    // While the server is away, sends fail without waiting.
    iterate_for(20);
    gint64 start = g_get_monotonic_time();
    EXPECT_FALSE(sync_send(client, "nobody"));
    EXPECT_FALSE(send("nobody", first + 2));
    EXPECT_LT(g_get_monotonic_time() - start, 5 * G_USEC_PER_SEC);

    server = start_server(path);
    ASSERT_TRUE(reconnected());
    ASSERT_TRUE(send("again", first + 3));
    EXPECT_TRUE(iterate_until([&] { return recorder.of(first + 3) == "again"; }));
  }
  iterate_for(100);
  // The refused commands never reached the dispatcher; nothing twice.
  EXPECT_EQ(recorder.size(), 7u);
  g_object_unref(client);
}
