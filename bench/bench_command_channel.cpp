// The command channel between two processes, against its floors in the same
// run:
//  - synchronous round trip of PTZSocketClientCommand to a
//    PTZSocketServerCommand, against a blocking ping-pong of the same framing
//    (both sides in read/write), against a main-loop server that reads one
//    framed message per dispatch (a blocking client), and against a
//    peer-to-peer GDBus method call;
//  - asynchronous throughput (batches of commands whose replies reach the
//    reply dispatcher), against main-loop receivers on both sides.
// Every server runs in a process of its own, started by this program
// re-executing itself with --serve. With --pin-cpu=N both processes run on
// CPU N only, which takes cross-CPU wake-up latency out of the numbers.
//
// Payload sizes are those of the reply: 0, 64 and 2552 (the largest) bytes.
// A command server delivers no empty command, so for a 0-byte reply the
// request carries one byte; every server answers a 1-byte request with an
// empty reply and echoes anything else.
#include <errno.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <glib-unix.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/bench_ratio.h"
#include "ptz_socket_client.h"
#include "ptz_socket_server.h"

namespace {

using velmora::bench::Clock;
using velmora::bench::Goal;
using velmora::bench::Ratio;

constexpr size_t kHeader = PTZ_SOCKET_HEADER_SIZE;
constexpr size_t kMax = PTZ_SOCKET_MESSAGE_MAX;
constexpr int kSizes[] = {0, 64, 2552};
constexpr int kBatch = 32;  // asynchronous commands in flight per iteration
constexpr int kAsyncPayload = 64;
constexpr gint64 kStallUs = 5 * G_USEC_PER_SEC;

size_t request_length(size_t reply_length) { return reply_length == 0 ? 1 : reply_length; }
size_t reply_length(size_t request_length) { return request_length == 1 ? 0 : request_length; }

// ---- framing helpers ----------------------------------------------------------

void put_header(guint8 *message, size_t payload, guint32 id) {
  guint32 total = guint32(payload + kHeader);
  memcpy(message, &total, 4);
  memcpy(message + 4, &id, 4);
}

guint32 get32(const guint8 *bytes) {
  guint32 value;
  memcpy(&value, bytes, 4);
  return value;
}

// Writes everything, waiting for room on a non-blocking descriptor.
bool write_all(int fd, const void *data, size_t length) {
  auto *bytes = static_cast<const guint8 *>(data);
  while (length > 0) {
    ssize_t n = write(fd, bytes, length);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd out = {fd, POLLOUT, 0};
      poll(&out, 1, -1);
      continue;
    }
    if (n <= 0) return false;
    bytes += n;
    length -= size_t(n);
  }
  return true;
}

bool read_all(int fd, void *data, size_t length) {
  auto *bytes = static_cast<guint8 *>(data);
  while (length > 0) {
    ssize_t n = read(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    length -= size_t(n);
  }
  return true;
}

// One framed message read from a non-blocking descriptor, a piece per call:
// the header, then the payload.
struct FrameReader {
  guint8 message[kMax];
  size_t received = 0;

  enum Result {
    kMore,
    kComplete,
    kEnded
  };

  Result step(int fd) {
    size_t want = received < kHeader ? kHeader : get32(message);
    if (want < kHeader || want > kMax) return kEnded;
    ssize_t n = read(fd, message + received, want - received);
    if (n == 0) return kEnded;
    if (n < 0) return errno == EAGAIN || errno == EINTR ? kMore : kEnded;
    received += size_t(n);
    if (received == kHeader && get32(message) > kHeader) return step(fd);
    return received >= kHeader && received == get32(message) ? kComplete : kMore;
  }
  size_t payload() const { return get32(message) - kHeader; }
  guint32 id() const { return get32(message + 4); }
  void reset() { received = 0; }
};

void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// ---- servers (child processes) ----------------------------------------------------

// Both sides blocked in read and write: the least a round trip costs.
int serve_blocking(int fd) {
  guint8 message[kMax];
  while (read_all(fd, message, kHeader)) {
    size_t payload = get32(message) - kHeader;
    if (payload > kMax - kHeader || !read_all(fd, message + kHeader, payload)) break;
    size_t reply = reply_length(payload);
    put_header(message, reply, get32(message + 4));
    if (!write_all(fd, message, kHeader + reply)) break;
  }
  return 0;
}

// A GLib main loop that reads one framed message per dispatch and answers it
// with one write: what any main-loop server has to do at least.
struct LoopServer {
  GMainLoop *loop;
  FrameReader reader;
};

gboolean loop_server_dispatch(gint fd, GIOCondition, gpointer data) {
  auto *self = static_cast<LoopServer *>(data);
  switch (self->reader.step(fd)) {
    case FrameReader::kMore:
      return G_SOURCE_CONTINUE;
    case FrameReader::kEnded:
      g_main_loop_quit(self->loop);
      return G_SOURCE_REMOVE;
    case FrameReader::kComplete:
      break;
  }
  size_t reply = reply_length(self->reader.payload());
  put_header(self->reader.message, reply, self->reader.id());
  self->reader.reset();
  if (!write_all(fd, self->reader.message, kHeader + reply)) {
    g_main_loop_quit(self->loop);
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

int serve_main_loop(int fd) {
  set_nonblocking(fd);
  LoopServer server{g_main_loop_new(nullptr, FALSE), {}};
  g_unix_fd_add(fd, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), loop_server_dispatch, &server);
  g_main_loop_run(server.loop);
  g_main_loop_unref(server.loop);
  return 0;
}

gboolean echo_command(gpointer, PTZSocketServerHandle *handle, const gchar *data, gsize length) {
  ptz_socket_server_send(handle, data, reply_length(length));
  return TRUE;
}

gboolean quit_on_hangup(gint, GIOCondition, gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop *>(loop));
  return G_SOURCE_REMOVE;
}

// The library's command server on `path`; tells the parent it listens with
// one byte on the control descriptor and ends when the parent closes it.
int serve_library(int control, const char *path) {
  GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
  PTZSocketServerCommand *server = ptz_socket_server_command_new(path, SOCK_STREAM);
  ptz_socket_server_register_callback(PTZ_SOCKET_SERVER(server), echo_command, nullptr);
  g_unix_fd_add(control, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), quit_on_hangup, loop);
  guint8 ready = PTZ_SOCKET(server)->fd >= 0 ? 1 : 0;
  if (!write_all(control, &ready, 1)) return 1;
  g_main_loop_run(loop);
  g_object_unref(server);
  g_main_loop_unref(loop);
  return 0;
}

constexpr char kBusInterface[] =
    "<node><interface name='org.velmora.Bench1'>"
    "<method name='Echo'><arg type='ay' direction='in'/><arg type='ay' direction='out'/></method>"
    "</interface></node>";

void bus_echo(GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *, GVariant *parameters,
              GDBusMethodInvocation *invocation, gpointer) {
  GVariant *bytes = g_variant_get_child_value(parameters, 0);
  gsize length = 0;
  gconstpointer data = g_variant_get_fixed_array(bytes, &length, 1);
  GVariant *reply = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, data, reply_length(length), 1);
  g_dbus_method_invocation_return_value(invocation, g_variant_new_tuple(&reply, 1));
  g_variant_unref(bytes);
}

void quit_on_close(GDBusConnection *, gboolean, GError *, gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop *>(loop));
}

GDBusConnection *bus_peer(int fd, bool server) {
  GError *error = nullptr;
  GSocket *socket = g_socket_new_from_fd(fd, &error);
  if (socket == nullptr) {
    fprintf(stderr, "bench_command_channel: %s\n", error->message);
    g_error_free(error);
    return nullptr;
  }
  GSocketConnection *stream = g_socket_connection_factory_create_connection(socket);
  gchar *guid = server ? g_dbus_generate_guid() : nullptr;
  GDBusConnection *connection =
      g_dbus_connection_new_sync(G_IO_STREAM(stream), guid,
                                 // The server takes no message before its object is registered.
                                 server ? GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_SERVER |
                                                               G_DBUS_CONNECTION_FLAGS_DELAY_MESSAGE_PROCESSING)
                                        : G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT,
                                 nullptr, nullptr, &error);
  if (connection == nullptr) {
    fprintf(stderr, "bench_command_channel: %s\n", error->message);
    g_error_free(error);
  }
  g_free(guid);
  g_object_unref(stream);
  g_object_unref(socket);
  return connection;
}

// A peer-to-peer GDBus connection (no bus daemon) exporting Echo.
int serve_bus(int fd) {
  GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
  GDBusConnection *connection = bus_peer(fd, true);
  if (connection == nullptr) return 1;
  GDBusNodeInfo *node = g_dbus_node_info_new_for_xml(kBusInterface, nullptr);
  GDBusInterfaceVTable vtable = {bus_echo, nullptr, nullptr, {}};
  g_dbus_connection_register_object(connection, "/bench", node->interfaces[0], &vtable, nullptr, nullptr, nullptr);
  g_signal_connect(connection, "closed", G_CALLBACK(quit_on_close), loop);
  g_dbus_connection_start_message_processing(connection);
  g_main_loop_run(loop);
  g_dbus_node_info_unref(node);
  g_object_unref(connection);
  g_main_loop_unref(loop);
  return 0;
}

int serve(const std::string &kind, int fd, const char *path) {
  if (kind == "blocking") return serve_blocking(fd);
  if (kind == "loop") return serve_main_loop(fd);
  if (kind == "library") return serve_library(fd, path);
  if (kind == "bus") return serve_bus(fd);
  return 2;
}

// ---- the parent's side --------------------------------------------------------------

// A server process and the parent's end of a connected socket pair to it
// (the channel itself, or the control line of the library's server, which
// listens on `path`).
class Peer {
 public:
  explicit Peer(const char *kind) {
    char dir_template[] = "/tmp/velmora-bench.XXXXXX";
    dir_ = mkdtemp(dir_template) ? dir_template : "";
    path_ = dir_ + "/command.sock";
    int pair[2];
    if (dir_.empty() || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
    fcntl(pair[1], F_SETFD, 0);  // the child's end survives the exec
    std::string fd = std::to_string(pair[1]);
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return;
    self[n] = '\0';
    const char *argv[] = {self, "--serve", kind, fd.c_str(), path_.c_str(), nullptr};
    pid_ = fork();
    if (pid_ == 0) {
      close(pair[0]);
      execv(self, const_cast<char **>(argv));
      _exit(127);
    }
    close(pair[1]);
    fd_ = pair[0];
  }
  ~Peer() {
    if (fd_ >= 0) close(fd_);
    if (pid_ > 0) {
      int status;
      waitpid(pid_, &status, 0);
    }
    if (!dir_.empty()) {
      unlink(path_.c_str());
      rmdir(dir_.c_str());
    }
  }
  Peer(const Peer &) = delete;
  Peer &operator=(const Peer &) = delete;

  bool started() const { return pid_ > 0 && fd_ >= 0; }
  pid_t pid() const { return pid_; }
  int fd() const { return fd_; }
  const char *path() const { return path_.c_str(); }
  // Waits for the library's server to listen.
  bool ready() const {
    guint8 byte = 0;
    return started() && read_all(fd_, &byte, 1) && byte == 1;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string dir_;
  std::string path_;
};

// CPU time of this process and the server process together, which, unlike
// the wall-clock time of a round trip, hardly depends on what else the
// machine is doing.
class CpuMeter {
 public:
  explicit CpuMeter(const Peer &peer) {
    if (!peer.started() || clock_getcpuclockid(peer.pid(), &server_) != 0) server_ = -1;
  }
  void start() { start_ = now(); }
  // Reports the time since start() per iteration as the counter "cpu_ns".
  void report(benchmark::State &state) const {
    if (server_ != -1 && state.iterations() > 0)
      state.counters["cpu_ns"] = benchmark::Counter(now() - start_, benchmark::Counter::kAvgIterations);
  }

 private:
  double now() const {
    double total = 0;
    for (clockid_t clock : {clockid_t(CLOCK_PROCESS_CPUTIME_ID), server_}) {
      timespec t = {};
      clock_gettime(clock, &t);
      total += double(t.tv_sec) * 1e9 + double(t.tv_nsec);
    }
    return total;
  }
  clockid_t server_ = -1;
  double start_ = 0;
};

struct Request {
  explicit Request(size_t reply) : reply(reply), bytes(request_length(reply), 0x5a) {}
  size_t reply;
  std::vector<guint8> bytes;
};

// One round trip with a blocking client: one write, two reads.
bool blocking_round_trip(int fd, const Request &request, guint32 id, guint8 *message) {
  size_t length = request.bytes.size();
  put_header(message, length, id);
  memcpy(message + kHeader, request.bytes.data(), length);
  if (!write_all(fd, message, kHeader + length) || !read_all(fd, message, kHeader)) return false;
  size_t reply = get32(message) - kHeader;
  return get32(message + 4) == id && reply == request.reply && read_all(fd, message + kHeader, reply);
}

// Ends the benchmark with an error, also told on stderr with errno, since
// the console output of a failed repetition is easily lost among the others.
void fail(benchmark::State &state, const char *what) {
  int error = errno;
  fprintf(stderr, "bench_command_channel: %s (errno %d, %s)\n", what, error, g_strerror(error));
  state.SkipWithError(what);
}

// Times `exchange` (one round trip, true when it succeeded). The first
// exchange, untimed, waits for the server process to be up and connected.
template <typename Exchange>
void round_trips(benchmark::State &state, const Peer &peer, Exchange exchange) {
  CpuMeter cpu(peer);
  if (!exchange()) fail(state, "no server");
  cpu.start();
  for (auto _ : state) {
    if (!exchange()) {
      fail(state, "round trip failed");
      break;
    }
  }
  cpu.report(state);
}

PTZSocketClientCommand *library_client(const Peer &peer) {
  return peer.ready() ? ptz_socket_client_command_new(peer.path(), -1, SOCK_STREAM) : nullptr;
}

// A synchronous client and its server process: the library's command client
// against the library's server ("library"), or a blocking client against the
// main-loop server ("loop") or the blocking one ("blocking").
class SyncClient {
 public:
  SyncClient(const char *kind, size_t reply) : peer_(kind), request_(reply) {
    if (strcmp(kind, "library") == 0) {
      library_ = true;
      client_ = library_client(peer_);
    }
  }
  ~SyncClient() {
    if (client_ != nullptr) g_object_unref(client_);
  }
  SyncClient(const SyncClient &) = delete;
  SyncClient &operator=(const SyncClient &) = delete;

  const Peer &peer() const { return peer_; }
  // One round trip; true when the expected reply came.
  bool exchange() {
    if (!library_) return peer_.started() && blocking_round_trip(peer_.fd(), request_, id_++, message_);
    gsize length = G_MAXSIZE;
    return client_ != nullptr &&
           ptz_socket_client_command_sync_send(client_, request_.bytes.data(), request_.bytes.size(), message_,
                                               &length) &&
           length == request_.reply;
  }

 private:
  Peer peer_;
  Request request_;
  bool library_ = false;
  PTZSocketClientCommand *client_ = nullptr;
  guint8 message_[kMax];
  guint32 id_ = 0;
};

void sync_client(benchmark::State &state, const char *kind) {
  SyncClient client(kind, size_t(state.range(0)));
  round_trips(state, client.peer(), [&] { return client.exchange(); });
}

void BM_BlockingPingPong(benchmark::State &state) { sync_client(state, "blocking"); }
void BM_MainLoopServer(benchmark::State &state) { sync_client(state, "loop"); }
void BM_CommandSync(benchmark::State &state) { sync_client(state, "library"); }

void BM_GDBusCall(benchmark::State &state) {
  Peer peer("bus");
  GDBusConnection *connection = peer.started() ? bus_peer(fcntl(peer.fd(), F_DUPFD_CLOEXEC, 0), false) : nullptr;
  Request request(size_t(state.range(0)));
  round_trips(state, peer, [&] {
    if (connection == nullptr) return false;
    GVariant *bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, request.bytes.data(), request.bytes.size(), 1);
    GVariant *result = g_dbus_connection_call_sync(connection, nullptr, "/bench", "org.velmora.Bench1", "Echo",
                                                   g_variant_new_tuple(&bytes, 1), G_VARIANT_TYPE("(ay)"),
                                                   G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (result == nullptr) return false;
    GVariant *reply = g_variant_get_child_value(result, 0);
    gsize length = g_variant_n_children(reply);
    g_variant_unref(reply);
    g_variant_unref(result);
    return length == request.reply;
  });
  if (connection != nullptr) {
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
  }
}

// Counts replies and notices when they stop coming.
struct Progress {
  long replies = 0;
  long seen = 0;
  gint64 since = g_get_monotonic_time();
  bool stalled = false;
};

gboolean watch_progress(gpointer data) {
  auto *progress = static_cast<Progress *>(data);
  gint64 now = g_get_monotonic_time();
  if (progress->replies != progress->seen) {
    progress->seen = progress->replies;
    progress->since = now;
  } else if (now - progress->since > kStallUs) {
    progress->stalled = true;
  }
  return G_SOURCE_CONTINUE;
}

// Iterates the default main context until `target` replies are in.
bool await_replies(Progress *progress, long target) {
  while (progress->replies < target && !progress->stalled) g_main_context_iteration(nullptr, TRUE);
  return !progress->stalled;
}

void count_reply(gpointer user_data, const gchar *data, gsize length) {
  auto *progress = static_cast<Progress *>(user_data);
  if (data != nullptr && length == kAsyncPayload) progress->replies++;
}

// An asynchronous client and its server process: send() writes a batch of
// kBatch commands (true when all went out); their replies are counted in
// `progress` as the default main context delivers them.
class AsyncClient {
 public:
  virtual ~AsyncClient() = default;
  virtual const Peer &peer() const = 0;
  virtual bool send() = 0;
  Progress progress;
};

// The library's command client against the library's server.
class LibraryAsync : public AsyncClient {
 public:
  LibraryAsync() : peer_("library"), client_(library_client(peer_)) {
    if (client_ != nullptr) ptz_socket_client_register_callback(PTZ_SOCKET_CLIENT(client_), count_reply, &progress);
  }
  ~LibraryAsync() override {
    if (client_ != nullptr) g_object_unref(client_);
  }
  const Peer &peer() const override { return peer_; }
  bool send() override {
    bool sent = client_ != nullptr;
    for (int i = 0; sent && i < kBatch; i++)
      sent = ptz_socket_client_command_async_send(client_, request_.bytes.data(), request_.bytes.size(), &progress);
    return sent;
  }

 private:
  Peer peer_;
  PTZSocketClientCommand *client_;
  Request request_{kAsyncPayload};
};

// The floors of the asynchronous path: the batch written one message per
// write, the replies read by the client's main loop either one framed
// message per dispatch (two reads each), or all that are waiting in one
// dispatch (one read into a large buffer); the server is the main-loop one.
class FloorAsync : public AsyncClient {
 public:
  explicit FloorAsync(bool batched) : peer_("loop") {
    if (!peer_.started()) return;
    set_nonblocking(peer_.fd());
    watch_ = g_unix_fd_add(peer_.fd(), GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), batched ? receive_all : receive_one,
                           this);
  }
  ~FloorAsync() override {
    if (watch_ != 0) g_source_remove(watch_);
  }
  const Peer &peer() const override { return peer_; }
  bool send() override {
    bool sent = watch_ != 0;
    for (int i = 0; sent && i < kBatch; i++) {
      put_header(message_, request_.bytes.size(), id_++);
      memcpy(message_ + kHeader, request_.bytes.data(), request_.bytes.size());
      sent = write_all(peer_.fd(), message_, kHeader + request_.bytes.size());
    }
    return sent;
  }

 private:
  static gboolean receive_one(gint fd, GIOCondition, gpointer data) {
    auto *self = static_cast<FloorAsync *>(data);
    FrameReader::Result result = self->reader_.step(fd);
    if (result == FrameReader::kEnded) return self->ended();
    if (result == FrameReader::kComplete) {
      if (self->reader_.payload() == kAsyncPayload) self->progress.replies++;
      self->reader_.reset();
    }
    return G_SOURCE_CONTINUE;
  }
  static gboolean receive_all(gint fd, GIOCondition, gpointer data) {
    auto *self = static_cast<FloorAsync *>(data);
    ssize_t n = read(fd, self->in_ + self->in_length_, sizeof self->in_ - self->in_length_);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return self->ended();
    if (n > 0) self->in_length_ += size_t(n);
    size_t at = 0;
    while (self->in_length_ - at >= kHeader) {
      size_t length = get32(self->in_ + at);
      if (length < kHeader || length > kMax) return self->ended();
      if (self->in_length_ - at < length) break;
      if (length - kHeader == kAsyncPayload) self->progress.replies++;
      at += length;
    }
    self->in_length_ -= at;
    memmove(self->in_, self->in_ + at, self->in_length_);
    return G_SOURCE_CONTINUE;
  }
  gboolean ended() {
    progress.stalled = true;
    watch_ = 0;
    return G_SOURCE_REMOVE;
  }

  Peer peer_;
  guint watch_ = 0;
  FrameReader reader_;
  guint8 in_[64 * 1024];
  size_t in_length_ = 0;
  Request request_{kAsyncPayload};
  guint8 message_[kMax];
  guint32 id_ = 0;
};

// One batch: written, then the default main context runs until its replies
// are in.
bool batch(AsyncClient *client) {
  long target = client->progress.replies + kBatch;  // replies may already come in while sending
  return client->send() && await_replies(&client->progress, target);
}

// Times batches. The first batch, untimed, waits for the server process.
void batches(benchmark::State &state, AsyncClient *client) {
  CpuMeter cpu(client->peer());
  guint watchdog = g_timeout_add_seconds(1, watch_progress, &client->progress);
  if (!batch(client)) fail(state, "no server");
  cpu.start();
  for (auto _ : state) {
    if (!batch(client)) {
      fail(state, "replies stopped");
      break;
    }
  }
  cpu.report(state);
  state.SetItemsProcessed(state.iterations() * kBatch);
  g_source_remove(watchdog);
}

void BM_CommandAsync(benchmark::State &state) {
  LibraryAsync client;
  batches(state, &client);
}

void BM_MainLoopAsyncFloor(benchmark::State &state) {
  FloorAsync client(false);
  batches(state, &client);
}

void BM_MainLoopAsyncBatchedFloor(benchmark::State &state) {
  FloorAsync client(true);
  batches(state, &client);
}

void sizes(benchmark::internal::Benchmark *b) {
  for (int size : kSizes) b->Arg(size);
  b->UseRealTime();
}

BENCHMARK(BM_BlockingPingPong)->Apply(sizes);
BENCHMARK(BM_MainLoopServer)->Apply(sizes);
BENCHMARK(BM_CommandSync)->Apply(sizes);
BENCHMARK(BM_GDBusCall)->Apply(sizes);
BENCHMARK(BM_MainLoopAsyncFloor)->UseRealTime();
BENCHMARK(BM_MainLoopAsyncBatchedFloor)->UseRealTime();
BENCHMARK(BM_CommandAsync)->UseRealTime();

// The goals: a synchronous round trip costs at most the main-loop floor in
// CPU time of both processes; pinned to one CPU, where the scheduler's
// cross-CPU wake-ups are out of the numbers, it is at least 7 times faster
// than a GDBus call; asynchronous throughput at least that of the floor that
// reads one reply per dispatch, in CPU time too.
std::vector<Ratio> ratios(bool pinned) {
  std::vector<Ratio> list;
  for (int size : kSizes) {
    const std::string number = std::to_string(size);
    std::string arg = "/" + number + "/real_time";
    std::string what = "Synchronous command round trip, " + number + "-byte reply";
    std::string path = "BM_CommandSync" + arg;
    list.push_back({what + ", times faster than a GDBus peer-to-peer call", "BM_GDBusCall" + arg, path,
                    pinned ? Goal::kAtLeast : Goal::kNone, 7, Clock::kReal, false});
    list.push_back({what + ", against a main-loop server", path, "BM_MainLoopServer" + arg, Goal::kAtMost, 1.0,
                    Clock::kReal, true, true});
    list.push_back({what + ", against a blocking ping-pong", path, "BM_BlockingPingPong" + arg, Goal::kNone, 0,
                    Clock::kReal, true});
  }
  std::string async = "Asynchronous command throughput (" + std::to_string(kBatch) + " x " +
                      std::to_string(kAsyncPayload) + " bytes in flight), share of ";
  list.push_back({async + "main-loop receivers reading one reply per dispatch", "BM_MainLoopAsyncFloor/real_time",
                  "BM_CommandAsync/real_time", Goal::kAtLeast, 1.0, Clock::kReal, false, true});
  list.push_back({async + "a main-loop receiver reading every waiting reply per dispatch",
                  "BM_MainLoopAsyncBatchedFloor/real_time", "BM_CommandAsync/real_time", Goal::kNone, 0, Clock::kReal,
                  false});
  return list;
}

// Takes --pin-cpu=N off the command line and binds this process (and so the
// servers it starts) to that CPU. Returns the label suffix, or "" unpinned.
std::string pin_cpu(int *argc, char **argv) {
  std::string suffix;
  int kept = 1;
  for (int i = 1; i < *argc; i++) {
    if (strncmp(argv[i], "--pin-cpu=", 10) != 0) {
      argv[kept++] = argv[i];
      continue;
    }
    int cpu = atoi(argv[i] + 10);
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (sched_setaffinity(0, sizeof set, &set) != 0) {
      perror("sched_setaffinity");
      exit(1);
    }
    suffix = " [both processes on CPU " + std::to_string(cpu) + "]";
  }
  *argc = kept;
  argv[kept] = nullptr;
  return suffix;
}

// ---- counted exchanges (scripts/syscalls.sh) --------------------------------------

// Runs `n` exchanges of one kind outside the benchmark library, after one
// untimed exchange that starts and connects the server, so that a system-call
// count of a run with n and one with 0 differ by exactly n exchanges:
//   sync-library, sync-loop, sync-blocking   a 64-byte round trip with the
//     library's client and server, with a blocking client against the
//     main-loop server, or a blocking ping-pong;
//   async-library, async-loop, async-batched   a batch of kBatch 64-byte
//     commands and their replies: the library's, the floor's reading one
//     reply per dispatch, the floor's reading every waiting reply at once.
int count_exchanges(const std::string &kind, long n) {
  auto repeat = [n](auto exchange) {
    for (long i = 0; i <= n; i++)
      if (!exchange()) return 1;
    return 0;
  };
  if (kind.rfind("sync-", 0) == 0) {
    SyncClient client(kind.c_str() + 5, kAsyncPayload);
    return repeat([&] { return client.exchange(); });
  }
  std::unique_ptr<AsyncClient> client;
  if (kind == "async-library") client = std::make_unique<LibraryAsync>();
  if (kind == "async-loop") client = std::make_unique<FloorAsync>(false);
  if (kind == "async-batched") client = std::make_unique<FloorAsync>(true);
  if (client == nullptr) return 2;
  guint watchdog = g_timeout_add_seconds(1, watch_progress, &client->progress);
  int status = repeat([&] { return batch(client.get()); });
  g_source_remove(watchdog);
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 5 && strcmp(argv[1], "--serve") == 0) return serve(argv[2], atoi(argv[3]), argv[4]);
  if (argc == 4 && strcmp(argv[1], "--count") == 0) return count_exchanges(argv[2], atol(argv[3]));
  // A server that ends early must not end the benchmark with it.
  signal(SIGPIPE, SIG_IGN);
  std::string suffix = pin_cpu(&argc, argv);
  return velmora::bench::run_and_report(argc, argv, ratios(!suffix.empty()), suffix);
}
