// The command server against another local account: children running as
// "nobody" flood it with connections, hold half frames, hold thousands of
// idle connections, exhaust its descriptors or connect against its peer
// policy, while a legitimate client (root, this process) must still be
// served. Needs root to switch accounts; skips otherwise.
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "nobody_child.h"
#include "ptz_socket_server.h"
#include "raw_peer.h"
#include "velmora_test.h"

using namespace velmora::testing;

namespace {

// Answers every command with "re:" and the payload; counts them in the int
// at `counter`.
gboolean echo(gpointer counter, PTZSocketServerHandle *handle, const gchar *payload, gsize length) {
  ++*static_cast<int *>(counter);
  std::string reply = "re:" + std::string(payload, length);
  ptz_socket_server_send(handle, reply.data(), reply.size());
  return TRUE;
}

// A command server in this process, echoing with "re:", on a socket that
// every account may connect to (as in the shared socket directory).
struct HostileUser : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("command.sock");
  PTZSocketServerCommand *server = nullptr;
  PTZSocketServer *base = nullptr;
  int commands = 0;
  int ready[2] = {-1, -1}, go[2] = {-1, -1};

  void SetUp() override {
    VELMORA_SKIP_UNLESS_ATTACKS_CAN_RUN();
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    chmod(dir.path().c_str(), 0755);
    server = ptz_socket_server_command_new(path.c_str(), SOCK_STREAM);
    base = PTZ_SOCKET_SERVER(server);
    ASSERT_GE(PTZ_SOCKET(server)->fd, 0);
    chmod(path.c_str(), 0666);
    ptz_socket_server_register_callback(base, echo, &commands);
  }
  void TearDown() override {
    for (int fd : {ready[0], ready[1], go[0], go[1]})
      if (fd >= 0) close(fd);
    if (server != nullptr) g_object_unref(server);
  }

  // In the child: tells the parent the attack is in place, then waits until
  // the parent has checked what it wanted to check meanwhile.
  void signal_ready_and_wait() {
    char byte = 'r';
    if (write(ready[1], &byte, 1) != 1) _exit(121);
    if (read(go[0], &byte, 1) != 1) _exit(122);
  }
  // In the parent: serves until the child is ready (false when it never is).
  bool serve_until_ready(int timeout_ms = 60000) {
    return iterate_until(
        [&] {
          pollfd p = {ready[0], POLLIN, 0};
          return poll(&p, 1, 0) == 1;
        },
        timeout_ms);
  }
  void let_go() {
    char byte = 'g';
    EXPECT_EQ(write(go[1], &byte, 1), 1);
  }
  // Serves until the child exits; its exit status, or -1.
  int serve_until_exit(Child &child, int timeout_ms = 60000) {
    int status = -1;
    iterate_until([&] { return (status = child.wait(0)) != -1; }, timeout_ms);
    return status;
  }
  // A legitimate client of this process: one command, its reply checked.
  bool legitimate_exchange(const std::string &text) {
    int fd = connect_raw(path);
    bool ok = fd >= 0 && send_all(fd, frame(77, text)) && read_reply(fd).payload == "re:" + text;
    if (fd >= 0) close(fd);
    return ok;
  }
};

// Connections to `path`, as many as connect.
std::vector<int> connect_many(const std::string &path, int n) {
  std::vector<int> fds;
  for (int i = 0; i < n; i++) {
    int fd = connect_raw(path);
    if (fd < 0) break;
    fds.push_back(fd);
  }
  return fds;
}

// Waits until `want` of `fds` have been closed by the other end, at most
// timeout_ms; returns how many were. Data that arrives is read and dropped.
int count_closed(const std::vector<int> &fds, size_t want, int timeout_ms) {
  std::vector<bool> closed(fds.size(), false);
  size_t count = 0;
  gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  while (count < want && g_get_monotonic_time() < deadline) {
    std::vector<pollfd> watched;
    std::vector<size_t> index;
    for (size_t i = 0; i < fds.size(); i++)
      if (!closed[i]) {
        watched.push_back({fds[i], POLLIN, 0});
        index.push_back(i);
      }
    if (poll(watched.data(), watched.size(), 50) <= 0) continue;
    for (size_t k = 0; k < watched.size(); k++) {
      if (watched[k].revents == 0) continue;
      char buffer[256];
      ssize_t n = recv(watched[k].fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN)) {
        closed[index[k]] = true;
        count++;
      }
    }
  }
  return int(count);
}

void close_all(const std::vector<int> &fds) {
  for (int fd : fds) close(fd);
}

// Raises this process's soft descriptor limit (children inherit it); false
// when the hard limit does not allow `needed`.
bool allow_descriptors(rlim_t needed) {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_max < needed) return false;
  limit.rlim_cur = limit.rlim_max;
  return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

}  // namespace

// One account opens far more connections than it may hold: all past the cap
// are closed at once, the cap's worth stay served, and the refusals are
// logged once for the whole flood.
TEST_F(HostileUser, ConnectionFloodFromOneAccountIsCapped) {
  LogCapture log;
  const int cap = PTZ_SOCKET_SERVER_DEFAULT_MAX_CONNECTIONS_PER_USER;
  const int flood = cap + 40;
  auto attacker = std::make_unique<NobodyChild>([&] {
    std::vector<int> fds = connect_many(path, flood);
    if (int(fds.size()) != flood) return 1;
    // The flood past the cap is closed; nothing else.
    if (count_closed(fds, flood - cap, 10000) != flood - cap) return 2;
    if (count_closed(fds, flood - cap + 1, 500) != flood - cap) return 3;
    signal_ready_and_wait();
    // The connections kept are served.
    int served = 0;
    for (int fd : fds) {
      pollfd p = {fd, POLLOUT, 0};
      if (poll(&p, 1, 0) == 1 && send_all(fd, frame(5, "mine")) && read_reply(fd, 10000, false).payload == "re:mine")
        served++;
    }
    return served == cap ? 0 : 4;
  });
  ASSERT_TRUE(serve_until_ready());
  EXPECT_TRUE(legitimate_exchange("during the flood"));
  let_go();
  EXPECT_EQ(serve_until_exit(*attacker), 0);
  EXPECT_EQ(log.count_containing("connection limit"), 1u);
  EXPECT_TRUE(legitimate_exchange("after the flood"));
}

// Connections that stop inside a message, or dribble one byte at a time, are
// closed once their message has been incomplete for the partial timeout (5 s
// by default); meanwhile everybody else is served.
TEST_F(HostileUser, HalfFramesAreTimedOut) {
  constexpr int kHalf = 20;
  auto attacker = std::make_unique<NobodyChild>([&] {
    std::vector<int> fds = connect_many(path, kHalf + 1);
    if (int(fds.size()) != kHalf + 1) return 1;
    for (int i = 0; i < kHalf; i++)
      if (!send_all(fds[i], frame(1, std::string(100, 'h')).substr(0, size_t(1 + i % 50)))) return 2;
    signal_ready_and_wait();
    // The last one keeps sending, a byte every 200 ms, of a message it never
    // finishes: it is closed all the same.
    std::string slow = frame(2, std::string(2000, 's'));
    gint64 start = g_get_monotonic_time();
    size_t at = 0;
    while (at < slow.size() && send_all(fds[kHalf], slow.substr(at++, 1)) &&
           g_get_monotonic_time() - start < 20 * G_USEC_PER_SEC) {
      pollfd p = {fds[kHalf], POLLIN, 200};
      if (poll(&p, 1, 200) == 1) break;
    }
    return count_closed(fds, kHalf + 1, 20000) == kHalf + 1 ? 0 : 3;
  });
  ASSERT_TRUE(serve_until_ready());
  for (int i = 0; i < 3; i++) EXPECT_TRUE(legitimate_exchange("while half frames wait"));
  let_go();
  EXPECT_EQ(serve_until_exit(*attacker), 0);
  EXPECT_TRUE(legitimate_exchange("afterwards"));
}

// Thousands of idle connections (the account's cap lifted) cost the server
// nothing while they are idle: newcomers are answered as usual, and none of
// the idle ones is closed.
TEST_F(HostileUser, ThousandsOfIdleConnectionsDoNotDelayNewcomers) {
  constexpr int kIdle = 3000;
  if (!allow_descriptors(kIdle + 200)) GTEST_SKIP() << "the hard limit on open descriptors is below " << kIdle + 200;
  ptz_socket_server_set_max_connections_per_user(base, 0);
  auto attacker = std::make_unique<NobodyChild>([&] {
    std::vector<int> fds = connect_many(path, kIdle);
    if (int(fds.size()) != kIdle) return 1;
    signal_ready_and_wait();
    return count_closed(fds, 1, 200) == 0 ? 0 : 2;
  });
  ASSERT_TRUE(serve_until_ready());
  // Each within the synchronous time limit of a command client.
  for (int i = 0; i < 5; i++) EXPECT_TRUE(legitimate_exchange("newcomer " + std::to_string(i)));
  let_go();
  EXPECT_EQ(serve_until_exit(*attacker), 0);
}

// An account the peer policy does not name is refused at once, with a log
// line, however often it tries; naming it lets it in.
TEST_F(HostileUser, PeerPolicyRefusesAccountsItDoesNotName) {
  std::optional<Account> account = nobody_account();
  ASSERT_TRUE(account);
  const uid_t nobody = account->uid;
  const gid_t nogroup = account->gid;
  LogCapture log;
  ptz_socket_server_allow_group(base, nogroup + 1);  // not nobody's group
  auto refused = std::make_unique<NobodyChild>([&] {
    std::vector<int> fds = connect_many(path, 10);
    for (int fd : fds) send_all(fd, frame(1, "let me in"));
    return count_closed(fds, 10, 10000) == 10 ? 0 : 1;
  });
  EXPECT_EQ(serve_until_exit(*refused), 0);
  EXPECT_EQ(commands, 0);
  EXPECT_GE(log.count_containing("Refused connection from uid " + std::to_string(nobody)), 1u);
  EXPECT_TRUE(legitimate_exchange("root is always let in"));

  ptz_socket_server_allow_user(base, nobody);
  auto allowed = std::make_unique<NobodyChild>([&] {
    int fd = connect_raw(path);
    return fd >= 0 && send_all(fd, frame(1, "named")) && read_reply(fd, 10000, false).payload == "re:named" ? 0 : 1;
  });
  EXPECT_EQ(serve_until_exit(*allowed), 0);
}

// At the descriptor limit the server still sheds what it must refuse: a
// reserved descriptor lets it accept, check and close refused connections
// instead of leaving them queued, and it never spins on the listening
// socket. A legitimate newcomer waits for a free descriptor and is served.
TEST(HostileUserLimits, DescriptorExhaustionKeepsRefusingAndNeverSpins) {
  VELMORA_SKIP_UNLESS_ATTACKS_CAN_RUN();
  TempDir dir;
  chmod(dir.path().c_str(), 0755);
  const std::string path = dir.file("limit.sock");
  constexpr int kRoom = 3;
  int ready[2], stop[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(stop), 0);
  Child server_process([&] {
    close(stop[1]);  // the end of the parent's copy is the order to stop
    PTZSocketServerCommand *server = ptz_socket_server_command_new(path.c_str(), SOCK_STREAM);
    chmod(path.c_str(), 0666);
    int commands = 0;
    ptz_socket_server_register_callback(PTZ_SOCKET_SERVER(server), echo, &commands);
    ptz_socket_server_allow_user(PTZ_SOCKET_SERVER(server), 54321);  // only root and 54321
    int spare = dup(0);
    close(spare);
    rlimit limit = {rlim_t(spare + kRoom), rlim_t(spare + kRoom)};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0 || write(ready[1], "r", 1) != 1) return 2;
    gint64 start = g_get_monotonic_time();
    clock_t cpu_start = clock();
    bool stopped = false;
    while (!stopped) {
      g_main_context_iteration(nullptr, FALSE);
      pollfd p = {stop[0], POLLIN, 0};
      stopped = poll(&p, 1, 1) == 1;
    }
    gint64 wall = g_get_monotonic_time() - start;
    gint64 cpu = gint64(clock() - cpu_start) * G_USEC_PER_SEC / CLOCKS_PER_SEC;
    return cpu * 2 < wall ? 0 : 3;
  });
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  std::vector<int> held;
  for (int i = 0; i < kRoom; i++) {
    held.push_back(connect_raw(path));
    ASSERT_TRUE(send_all(held.back(), frame(1, "held")));
    EXPECT_EQ(read_reply(held.back(), 10000, false).payload, "re:held");
  }
  // Every descriptor is taken: the refused account is still shed at once.
  auto refused = std::make_unique<NobodyChild>([&] {
    std::vector<int> fds = connect_many(path, 20);
    return fds.size() == 20 && count_closed(fds, 20, 10000) == 20 ? 0 : 1;
  });
  EXPECT_EQ(refused->wait(30000), 0);
  // A legitimate newcomer waits for a descriptor and is then served.
  int newcomer = connect_raw(path);
  ASSERT_TRUE(send_all(newcomer, frame(2, "waiting")));
  EXPECT_EQ(read_bytes(newcomer, 1, 1500, false), "");
  close(held.back());
  held.pop_back();
  EXPECT_EQ(read_reply(newcomer, 10000, false).payload, "re:waiting");
  close(newcomer);
  close_all(held);
  close(stop[1]);
  EXPECT_EQ(server_process.wait(), 0);
  for (int fd : {ready[0], ready[1], stop[0]}) close(fd);
}
