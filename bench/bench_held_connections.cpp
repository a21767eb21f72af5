// What held connections cost a command server: a newcomer's synchronous
// round trip (connect, one command, its reply) while another process holds
// 0, 1,000 or 10,000 connections to the same server, idle or each with half
// a frame sent, as ratios to the round trip with none held, its 99th
// percentile, and the server's CPU time while the held connections stay
// quiet. The server (PTZSocketServerCommand, echoing) and the holder run in
// processes of their own; the server's partial timeout and per-account cap
// are lifted so that the held connections stay.
//
// Prints the same "ratio|..." lines as the other benchmarks (bench_ratio.h);
// Google Benchmark's options, which scripts/bench.sh passes to every
// program, are accepted and ignored.
#include <fcntl.h>
#include <glib-unix.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ptz_socket_client.h"
#include "ptz_socket_server.h"

namespace {

constexpr int kSamples = 400;
constexpr int kIdleSeconds = 3;  // how long the server's CPU is watched while nothing happens
constexpr double kRatioGoal = 3;
constexpr double kP99GoalMs = 50;
constexpr double kCpuGoalPercent = 5;

gboolean echo(gpointer, PTZSocketServerHandle *handle, const gchar *data, gsize length) {
  ptz_socket_server_send(handle, data, length);
  return TRUE;
}

gboolean quit(gint, GIOCondition, gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop *>(loop));
  return G_SOURCE_REMOVE;
}

// A process running `body`; the returned descriptor is the parent's end of
// a control pipe pair: the child writes one byte when it is ready and ends
// when the parent closes its end.
struct Process {
  pid_t pid = -1;
  int control = -1;  // parent's end
  ~Process() {
    if (control >= 0) close(control);
    if (pid > 0) waitpid(pid, nullptr, 0);
  }
  bool ready() {
    char byte = 0;
    return control >= 0 && read(control, &byte, 1) == 1 && byte == 'r';
  }
};

template <typename Body>
void start(Process *process, Body body) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
  process->pid = fork();
  if (process->pid == 0) {
    close(pair[0]);
    _exit(body(pair[1]));
  }
  close(pair[1]);
  process->control = pair[0];
}

int serve(int control, const std::string &path) {
  GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
  PTZSocketServerCommand *server = ptz_socket_server_command_new(path.c_str(), SOCK_STREAM);
  PTZSocketServer *base = PTZ_SOCKET_SERVER(server);
  ptz_socket_server_register_callback(base, echo, nullptr);
  ptz_socket_server_set_partial_timeout(base, 0);
  ptz_socket_server_set_max_connections_per_user(base, 0);
  g_unix_fd_add(control, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), quit, loop);
  char byte = PTZ_SOCKET(server)->fd >= 0 ? 'r' : 'x';
  if (write(control, &byte, 1) != 1) return 1;
  g_main_loop_run(loop);
  g_object_unref(server);
  g_main_loop_unref(loop);
  return 0;
}

int connect_to(const std::string &path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  g_strlcpy(address.sun_path, path.c_str(), sizeof address.sun_path);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
    close(fd);
    fd = -1;
  }
  return fd;
}

// Holds `count` connections, each idle or with the first 3 bytes of a
// header sent, until the parent closes the control line.
int hold(int control, const std::string &path, int count, bool half) {
  std::vector<int> fds;
  for (int i = 0; i < count; i++) {
    int fd = connect_to(path);
    if (fd < 0 || (half && send(fd, "\x40\x00\x00", 3, MSG_NOSIGNAL) != 3)) {
      fprintf(stderr, "bench_held_connections: connection %d of %d failed: %s\n", i, count, g_strerror(errno));
      return 1;
    }
    fds.push_back(fd);
  }
  char byte = 'r';
  if (write(control, &byte, 1) != 1) return 1;
  read(control, &byte, 1);
  for (int fd : fds) close(fd);
  return 0;
}

double server_cpu_seconds(pid_t pid) {
  clockid_t clock;
  timespec t = {};
  if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &t) != 0) return -1;
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Result {
  bool measured = false;
  double median_ns = 0, p99_ns = 0, idle_cpu_percent = -1;
};

// One newcomer: a new client connects, sends one command and waits for its
// reply; nanoseconds, or a negative number when it failed.
double newcomer(const std::string &path) {
  gint64 start = g_get_monotonic_time();
  PTZSocketClientCommand *client = ptz_socket_client_command_new(path.c_str(), -1, SOCK_STREAM);
  char reply[PTZ_SOCKET_MESSAGE_MAX];
  gsize length = 0;
  bool ok = PTZ_SOCKET(client)->fd >= 0 && ptz_socket_client_command_sync_send(client, "ping", 4, reply, &length) &&
            length == 4;
  g_object_unref(client);
  return ok ? double(g_get_monotonic_time() - start) * 1000 : -1;
}

Result measure(int held, bool half) {
  Result result;
  char dir_template[] = "/tmp/velmora-held.XXXXXX";
  if (mkdtemp(dir_template) == nullptr) return result;
  const std::string dir = dir_template, path = dir + "/command.sock";
  {
    Process server, holder;
    start(&server, [&](int control) { return serve(control, path); });
    if (!server.ready()) {
      fprintf(stderr, "bench_held_connections: the server did not start\n");
    } else {
      if (held > 0) start(&holder, [&](int control) { return hold(control, path, held, half); });
      if (held == 0 || holder.ready()) {
        std::vector<double> samples;
        newcomer(path);  // untimed: first use of the library in this process
        for (int i = 0; i < kSamples; i++) {
          double ns = newcomer(path);
          if (ns < 0) break;
          samples.push_back(ns);
        }
        if (samples.size() == size_t(kSamples)) {
          std::sort(samples.begin(), samples.end());
          result.measured = true;
          result.median_ns = samples[samples.size() / 2];
          result.p99_ns = samples[samples.size() * 99 / 100];
          double cpu_start = server_cpu_seconds(server.pid);
          gint64 wall_start = g_get_monotonic_time();
          g_usleep(kIdleSeconds * G_USEC_PER_SEC);
          double cpu = server_cpu_seconds(server.pid) - cpu_start;
          result.idle_cpu_percent = 100 * cpu / (double(g_get_monotonic_time() - wall_start) / 1e6);
        } else {
          fprintf(stderr, "bench_held_connections: a newcomer's round trip failed\n");
        }
      }
    }
  }
  unlink(path.c_str());
  rmdir(dir.c_str());
  return result;
}

const char *verdict(bool pass) { return pass ? "pass" : "miss"; }

}  // namespace

int main(int argc, char **argv) {
  for (int i = 1; i < argc; i++)
    if (strncmp(argv[i], "--benchmark", 11) != 0) {
      fprintf(stderr, "usage: %s (Google Benchmark options are ignored)\n", argv[0]);
      return 2;
    }
  signal(SIGPIPE, SIG_IGN);
  // Both the server and the holder need a descriptor per held connection.
  rlimit limit;
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  const rlim_t room = limit.rlim_cur;

  Result idle = measure(0, false);
  printf("held connections: none: median %.0f ns, p99 %.0f ns, server CPU while idle %.2f %%\n", idle.median_ns,
         idle.p99_ns, idle.idle_cpu_percent);
  std::vector<std::string> rows;
  for (int held : {1000, 10000}) {
    for (bool half : {false, true}) {
      char label[160];
      const char *count = held == 1000 ? "1,000" : "10,000";
      const char *kind = half ? "connections with half a frame" : "idle connections";
      snprintf(label, sizeof label, "Newcomer's synchronous round trip, %s %s held by another process", count, kind);
      Result r;
      if (room == RLIM_INFINITY || room > rlim_t(held + 200))
        r = measure(held, half);
      else
        fprintf(stderr, "bench_held_connections: the descriptor limit (%lu) is too low for %d connections\n",
                (unsigned long)room, held);
      printf("held connections: %d %s: median %.0f ns, p99 %.0f ns, server CPU while idle %.2f %%\n", held,
             half ? "half" : "idle", r.median_ns, r.p99_ns, r.idle_cpu_percent);
      char row[512];
      if (!r.measured || !idle.measured) {
        snprintf(row, sizeof row, "ratio|%s, median against none held|-|-|<= %g|not measured|miss|-", label,
                 kRatioGoal);
        rows.push_back(row);
        continue;
      }
      double ratio = r.median_ns / idle.median_ns;
      snprintf(row, sizeof row, "ratio|%s, median against none held|%.0f|%.0f|<= %g|%.2f|%s|-", label, r.median_ns,
               idle.median_ns, kRatioGoal, ratio, verdict(ratio <= kRatioGoal));
      rows.push_back(row);
      snprintf(row, sizeof row, "ratio|%s, 99th percentile|%.0f|%.0f|< %g ms|%.1f ms|%s|-", label, r.p99_ns,
               idle.p99_ns, kP99GoalMs, r.p99_ns / 1e6, verdict(r.p99_ns / 1e6 < kP99GoalMs));
      rows.push_back(row);
      snprintf(row, sizeof row, "ratio|Server CPU while %s %s stay quiet, per cent of one CPU|-|-|< %g|%.2f|%s|-",
               count, kind, kCpuGoalPercent, r.idle_cpu_percent,
               verdict(r.idle_cpu_percent >= 0 && r.idle_cpu_percent < kCpuGoalPercent));
      rows.push_back(row);
    }
  }
  for (const std::string &row : rows) printf("%s\n", row.c_str());
  return 0;
}
