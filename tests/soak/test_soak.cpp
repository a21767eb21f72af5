// The command channel under a long mixed load while its server restarts:
// 50 command clients, driven by threads, send synchronous and asynchronous
// commands to one server process that is crashed or stopped and started
// again three times. Every reply must reach the command it answers, every
// asynchronous command that was written must be reported exactly once (its
// reply, or its expiry when its connection was lost), and when the clients
// are gone no descriptor and no allocation may be left behind.
//
// About 60 s; about 20 s in sanitizer builds. VELMORA_SOAK_SECONDS overrides.
#include <poll.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "soak_support.h"

namespace {

using namespace velmora::soak;
using velmora::testing::Child;
using velmora::testing::iterate_for;
using velmora::testing::iterate_until;

constexpr int kClients = 50;
constexpr int kThreads = 10;
constexpr int kRestarts = 3;
constexpr int kPhases = kRestarts + 1;
// How far from a restart a command may have been sent and still be lost with
// its connection: sent at most this long before the server went down (its
// reply would long have come otherwise) or after the new one listened (its
// client had not yet noticed the loss).
constexpr gint64 kLossWindowUs = 5 * G_USEC_PER_SEC;

int soak_seconds() {
  if (const char *text = getenv("VELMORA_SOAK_SECONDS")) return std::max(atoi(text), 4);
#ifdef VELMORA_SOAK_SANITIZED
  return 20;
#else
  return 60;
#endif
}

// ---- the server's supervisor ------------------------------------------------

// Orders to the supervisor, each answered with one byte.
constexpr char kKill = 'k';   // SIGKILL, a crash: the socket file stays behind
constexpr char kStop = 's';   // an orderly stop
constexpr char kQuit = 'q';   // stop the server in good order and end
constexpr char kReady = 'r';  // done; the old server had run until it was stopped
constexpr char kFault = 'x';

// One server process, and the pipe whose closing stops it in good order.
struct Server {
  std::unique_ptr<Child> process;
  int stop = -1;

  explicit Server(const std::string &path) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return;
    process = std::make_unique<Child>([&] {
      close(pipe_fds[1]);
      return serve(path, pipe_fds[0]);
    });
    close(pipe_fds[0]);
    stop = pipe_fds[1];
  }
  ~Server() {
    if (stop >= 0) close(stop);
  }
  // Ends the process as ordered; whether it had been running until then
  // and ended the way it was told to.
  bool end(char order) {
    if (process == nullptr) return false;
    bool healthy = process->running();  // it must not have died by itself
    if (order == kKill) process->kill(SIGKILL);
    close(stop);
    stop = -1;
    int status = process->wait(20000);
    bool ended = order == kKill ? process->signal() == SIGKILL : status == 0;
    if (!healthy || !ended)
      fprintf(stderr, "supervisor: the server %s (exit status %d, signal %d)\n",
              healthy ? "did not end as told" : "had ended by itself", status, process->signal());
    return healthy && ended;
  }
};

// Runs in a process forked before the test starts any thread, so servers can
// be forked from it at any moment of the run.
int supervise(const std::string &path, int orders, int answers) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  auto server = std::make_unique<Server>(path);
  char state = velmora::testing::wait_for_listener(path) ? kReady : kFault;
  if (write(answers, &state, 1) != 1) return 1;
  char order;
  while (read(orders, &order, 1) == 1) {
    state = server->end(order) ? kReady : kFault;
    if (order != kQuit) {
      server = std::make_unique<Server>(path);
      if (!velmora::testing::wait_for_listener(path)) state = kFault;
    }
    if (write(answers, &state, 1) != 1) return 1;
    if (order == kQuit) return 0;
  }
  return 1;
}

class Supervisor {
 public:
  explicit Supervisor(const std::string &path) {
    int orders[2], answers[2];
    if (pipe(orders) != 0 || pipe(answers) != 0) {
      ADD_FAILURE() << "pipe failed";
      return;
    }
    child_ = std::make_unique<Child>([&] {
      close(orders[1]);
      close(answers[0]);
      return supervise(path, orders[0], answers[1]);
    });
    close(orders[0]);
    close(answers[1]);
    orders_ = orders[1];
    answers_ = answers[0];
  }
  ~Supervisor() { finish(); }

  // Sends `order` (none when 0) and waits for the answer while the default
  // main context runs; 0 when none came.
  char ask(char order = 0) {
    if (order != 0 && write(orders_, &order, 1) != 1) return 0;
    pollfd ready = {answers_, POLLIN, 0};
    if (!iterate_until([&] { return poll(&ready, 1, 0) > 0; }, 30000)) return 0;
    char answer = 0;
    return read(answers_, &answer, 1) == 1 ? answer : 0;
  }

  // Ends the supervisor and its server; its exit status.
  int finish() {
    if (child_ == nullptr) return -1;
    EXPECT_EQ(ask(kQuit), kReady);
    close(orders_);
    close(answers_);
    int status = child_->wait();
    child_.reset();
    return status;
  }

 private:
  std::unique_ptr<Child> child_;
  int orders_ = -1;
  int answers_ = -1;
};

// ---- the clients' side ----------------------------------------------------------

struct Restart {
  gint64 ordered_us;
  gint64 ready_us;
};

struct SoakRun {
  struct Client {
    PTZSocketClientCommand *client = nullptr;
    std::atomic<unsigned> next_seq{0};
    std::atomic<int> synced[kPhases] = {};  // correct synchronous replies per phase
  } clients[kClients];
  std::atomic<int> phase{0};  // restarts completed
  std::atomic<bool> sending{true};
  std::atomic<int> sync_mismatches{0};
  std::atomic<int> finished{0};
  std::vector<Restart> restarts;
};

std::unique_ptr<Token> async_command(SoakRun::Client &state, int client) {
  auto token = std::make_unique<Token>();
  token->client = client;
  token->seq = state.next_seq++;
  token->kind = token->seq % 3 == 0 ? kDelayed : kAsync;
  send_async(state.client, token.get());
  return token;
}

bool sync_command(SoakRun &run, int client) {
  SoakRun::Client &state = run.clients[client];
  int phase = run.phase;
  std::string payload = make_payload(kSync, client, state.next_seq++);
  std::string reply;
  if (!velmora::testing::sync_send(state.client, payload, &reply)) return false;
  if (reply == derive_reply(payload))
    state.synced[phase]++;
  else
    run.sync_mismatches++;
  return true;
}

// One sender thread: a synchronous and an asynchronous command on each of
// its clients in turn; a pause after a round with failures (the server away).
void send_loop(SoakRun &run, std::vector<int> mine, std::vector<std::unique_ptr<Token>> &tokens) {
  while (run.sending) {
    bool failed = false;
    for (int client : mine) {
      failed |= !sync_command(run, client);
      tokens.push_back(async_command(run.clients[client], client));
      failed |= !tokens.back()->accepted;
    }
    g_usleep(failed ? 20000 : 1000);
  }
  run.finished++;
}

bool lost_in_a_restart(const Token &token, const std::vector<Restart> &restarts) {
  for (const Restart &r : restarts)
    if (token.sent_us >= r.ordered_us - kLossWindowUs && token.sent_us <= r.ready_us + kLossWindowUs &&
        token.reported_us >= r.ordered_us)
      return true;
  return false;
}

TEST(CommandChannelSoak, FiftyClientsThroughThreeServerRestarts) {
  const gint64 phase_ms = gint64(soak_seconds()) * 1000 / kPhases;
  // The system log's socket and the default context's wake-up descriptor
  // exist before counting.
  openlog(nullptr, LOG_NDELAY, LOG_USER);
  g_main_context_iteration(nullptr, FALSE);
  const int fds_before = count_open_fds();

  velmora::testing::TempDir dir;
  const std::string path = dir.file("soak.sock");
  velmora::testing::LogCapture logs;
  Supervisor supervisor(path);  // forked while this process has one thread
  ASSERT_EQ(supervisor.ask(), kReady);

  auto run = std::make_unique<SoakRun>();
  for (int c = 0; c < kClients; c++) {
    run->clients[c].client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
    ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(run->clients[c].client), dispatch, nullptr);
  }
  // Thread t drives clients t, t+10, ..., and the first ten clients are
  // shared with a second thread, so two threads send on one client at once.
  std::vector<std::vector<std::unique_ptr<Token>>> tokens(kThreads);
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; t++) {
    std::vector<int> mine = {(t + 1) % kThreads};
    for (int c = t; c < kClients; c += kThreads) mine.push_back(c);
    senders.emplace_back(send_loop, std::ref(*run), mine, std::ref(tokens[t]));
  }

  // Crashes and an orderly stop, the main context running all along.
  for (int r = 0; r < kRestarts; r++) {
    iterate_for(int(phase_ms));
    Restart restart{g_get_monotonic_time(), 0};
    EXPECT_EQ(supervisor.ask(r == 1 ? kStop : kKill), kReady) << "restart " << r;
    restart.ready_us = g_get_monotonic_time();
    run->restarts.push_back(restart);
    run->phase++;
  }
  iterate_for(int(phase_ms));
  run->sending = false;
  EXPECT_TRUE(iterate_until([&] { return run->finished == kThreads; }, 30000));
  for (auto &s : senders) s.join();

  // Whatever was written is reported, by its reply or as lost.
  auto all_reported = [&] {
    for (auto &list : tokens)
      for (auto &token : list)
        if (token->accepted && !token->reported()) return false;
    return true;
  };
  EXPECT_TRUE(iterate_until(all_reported, 30000));

  // After the last restart every client works as on its first day.
  std::vector<std::unique_ptr<Token>> last;
  for (int c = 0; c < kClients; c++) {
    EXPECT_TRUE(sync_command(*run, c)) << "client " << c;
    last.push_back(async_command(run->clients[c], c));
    EXPECT_TRUE(last.back()->accepted) << "client " << c;
  }
  EXPECT_TRUE(iterate_until([&] {
    for (auto &token : last)
      if (!token->reported()) return false;
    return true;
  }));
  for (auto &token : last) EXPECT_EQ(token->replies, 1) << "client " << token->client;

  EXPECT_EQ(run->sync_mismatches, 0);
  // Every asynchronous command that went out is reported once, with its own
  // reply, or as lost when a restart took its connection; a refused one is
  // never reported.
  size_t accepted = 0, replied = 0, expired = 0, faults = 0;
  std::string first_fault;
  for (auto &list : tokens)
    for (auto &token : list) {
      accepted += token->accepted;
      replied += size_t(token->replies);
      expired += size_t(token->expiries);
      bool sound = token->wrong == 0 && token->replies + token->expiries == (token->accepted ? 1 : 0) &&
                   (token->expiries == 0 || lost_in_a_restart(*token, run->restarts));
      if (!sound && faults++ == 0)
        first_fault = "client " + std::to_string(token->client) + " seq " + std::to_string(token->seq) +
                      (token->accepted ? " sent" : " refused") + ": " + std::to_string(token->replies) + " replies, " +
                      std::to_string(token->wrong) + " wrong replies, " + std::to_string(token->expiries) + " expiries";
    }
  EXPECT_EQ(faults, 0u) << "first: " << first_fault;
  // Delayed replies are always in flight, so restarts lose some.
  EXPECT_GT(expired, 0u);
  // Every client got through to every server it had.
  std::string missed;
  for (int c = 0; c < kClients; c++)
    for (int p = 0; p < kPhases; p++)
      if (run->clients[c].synced[p] == 0) missed += " client " + std::to_string(c) + " phase " + std::to_string(p);
  EXPECT_EQ(missed, "");
  for (const char *broken :
       {"larger than max", "shorter than its header", "Read more than expected", "Entry without data"})
    EXPECT_EQ(logs.count_containing(broken), 0u) << broken;
  int synced = 0;
  for (auto &state : run->clients)
    for (auto &n : state.synced) synced += n;
  std::cout << "soak: " << synced << " synchronous replies, " << accepted << " asynchronous commands (" << replied
            << " answered, " << expired << " lost in restarts)\n";

  for (auto &state : run->clients) g_object_unref(state.client);
  EXPECT_EQ(supervisor.finish(), 0);
  // Deferred work (lost-connection handling, late replies) holds clients
  // until the main context has run it.
  EXPECT_TRUE(iterate_until([&] { return count_open_fds() == fds_before; }, 10000));
  EXPECT_EQ(count_open_fds(), fds_before);
}

}  // namespace
