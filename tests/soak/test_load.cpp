// One command server under many clients: a thousand connected at once, each
// served, and newcomers accepted while the connected ones keep it busy.
#include <syslog.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "soak_support.h"

namespace {

using namespace velmora::soak;
using velmora::testing::Child;
using velmora::testing::iterate_until;

std::unique_ptr<Child> start_server(const std::string &path) {
  auto server = std::make_unique<Child>([path] { return serve(path); });
  EXPECT_TRUE(velmora::testing::wait_for_listener(path));
  return server;
}

PTZSocketClientCommand *new_client(const std::string &path) {
  PTZSocketClientCommand *client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
  ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client), dispatch, nullptr);
  return client;
}

// The server's number of open descriptors, as it reports it; -1 on failure.
int server_fds(PTZSocketClientCommand *client) {
  std::string reply;
  return velmora::testing::sync_send(client, std::string(1, kCountFds), &reply) ? atoi(reply.c_str()) : -1;
}

TEST(CommandChannelLoad, ThousandClientsConnectedAtOnceAreEachServed) {
  constexpr int kClients = 1000;
  // Both processes hold a descriptor per connection, and a few of their own.
  constexpr rlim_t kNeeded = kClients + 100;
  rlim_t hard = 0;
  if (!raise_fd_limit(kNeeded, &hard))
    GTEST_SKIP() << "the hard limit on open descriptors (" << hard << ") is below the " << kNeeded
                 << " a thousand connections need";
  openlog(nullptr, LOG_NDELAY, LOG_USER);
  g_main_context_iteration(nullptr, FALSE);
  const int fds_before = count_open_fds();

  velmora::testing::TempDir dir;
  const std::string path = dir.file("load.sock");
  {
    auto server = start_server(path);  // inherits the raised limit
    PTZSocketClientCommand *probe = new_client(path);
    const int server_idle = server_fds(probe);
    ASSERT_GT(server_idle, 0);

    std::vector<PTZSocketClientCommand *> clients;
    std::unique_ptr<Token[]> tokens(new Token[kClients]);
    for (int c = 0; c < kClients; c++) {
      clients.push_back(new_client(path));
      tokens[c].client = c;
    }
    // Every client asks at once. A client whose connect found the backlog
    // full retries by itself once a second; its command goes again then.
    auto all_answered = [&] {
      for (int c = 0; c < kClients; c++)
        if (!tokens[c].reported()) return false;
      return true;
    };
    for (int pass = 0; pass < 600 && !all_answered(); pass++) {
      for (int c = 0; c < kClients; c++)
        if (!tokens[c].accepted) send_async(clients[c], &tokens[c]);
      velmora::testing::iterate_for(100);
    }
    // Each with its own reply, once.
    int unanswered = 0;
    for (int c = 0; c < kClients; c++)
      if (tokens[c].replies != 1 || tokens[c].expiries + tokens[c].wrong != 0) unanswered++;
    EXPECT_EQ(unanswered, 0);
    // All connected at the same time: the server holds one descriptor each.
    EXPECT_GE(server_fds(probe), server_idle + kClients);
    // Synchronous commands are answered as well while all are connected
    // (every tenth client: the server takes one command per pass over all
    // its connections).
    int wrong = 0;
    for (int c = 0; c < kClients; c += 10) {
      std::string payload = make_payload(kSync, c, 1), reply;
      if (!velmora::testing::sync_send(clients[c], payload, &reply) || reply != derive_reply(payload)) wrong++;
    }
    EXPECT_EQ(wrong, 0);

    for (auto *client : clients) g_object_unref(client);
    // The server closes every connection whose client went away.
    EXPECT_TRUE(iterate_until([&] { return server_fds(probe) == server_idle; }, 30000));
    g_object_unref(probe);
  }
  EXPECT_TRUE(iterate_until([&] { return count_open_fds() == fds_before; }, 10000));
  EXPECT_EQ(count_open_fds(), fds_before);
}

// Clients that keep a server busy must not keep a newcomer out: its first
// command is answered within the synchronous time limit.
TEST(CommandChannelLoad, BusyServerStillAcceptsNewClients) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 5;
  velmora::testing::TempDir dir;
  const std::string path = dir.file("busy.sock");
  auto server = start_server(path);
  std::vector<PTZSocketClientCommand *> busy;
  for (int c = 0; c < kThreads * kPerThread; c++) busy.push_back(new_client(path));
  std::atomic<bool> running{true};
  std::vector<std::thread> threads;
  // Each thread keeps commands going on its clients without pause; the
  // replies nobody awaits are read and dropped by the clients' sources,
  // which another thread runs.
  for (int t = 0; t < kThreads; t++)
    threads.emplace_back([&, t] {
      std::string reply;
      for (unsigned seq = 0; running; seq++)
        for (int c = t * kPerThread; c < (t + 1) * kPerThread; c++) {
          std::string payload = make_payload(kAsync, c, seq);
          ptz_socket_client_command_async_send(busy[c], payload.data(), payload.size(), nullptr);
          velmora::testing::sync_send(busy[c], make_payload(kSync, c, seq), &reply);
        }
    });
  threads.emplace_back([&] {
    while (running)
      if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  });
  g_usleep(500000);

  int served = 0;
  for (int n = 0; n < 3; n++) {
    PTZSocketClientCommand *newcomer = new_client(path);
    std::string payload = make_payload(kSync, 100 + n, 0), reply;
    if (velmora::testing::sync_send(newcomer, payload, &reply) && reply == derive_reply(payload)) served++;
    g_object_unref(newcomer);
  }
  running = false;
  for (auto &t : threads) t.join();
  EXPECT_EQ(served, 3);
  for (auto *client : busy) g_object_unref(client);
}

}  // namespace
