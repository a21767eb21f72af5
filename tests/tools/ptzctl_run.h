// Runs the built ptzctl binary as a child process and collects what it
// writes, optionally serving the default main context (where a test's
// server lives) while it runs.
#pragma once

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#ifndef PTZCTL_PATH
#define PTZCTL_PATH ""
#endif

namespace velmora::testing {

struct PtzctlRun {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out, err;
};

// Called about every 10 ms with the output so far; returning true ends the
// child (it then counts as not having exited normally).
using PtzctlTick = std::function<bool(const std::string &out)>;

inline PtzctlRun run_ptzctl(const std::vector<std::string> &args, bool serve = false,
                            const PtzctlTick &tick = nullptr, int timeout_ms = 60000) {
  PtzctlRun run;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return run;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    std::vector<char *> argv = {const_cast<char *>(PTZCTL_PATH)};
    for (const auto &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    execv(PTZCTL_PATH, argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string *sinks[2] = {&run.out, &run.err};
  int open_pipes = 2;
  const gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  bool killed = false;
  while (open_pipes > 0) {
    if (!killed && (g_get_monotonic_time() > deadline || (tick && tick(run.out)))) {
      kill(pid, SIGKILL);
      killed = true;
    }
    if (poll(fds, 2, serve ? 2 : 10) > 0) {
      for (int i = 0; i < 2; i++) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          sinks[i]->append(buffer, size_t(n));
        } else {
          close(fds[i].fd);
          fds[i].fd = -1;
          open_pipes--;
        }
      }
    }
    while (serve && g_main_context_iteration(nullptr, FALSE)) {
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // In sanitizer builds a fault of the tool must not pass for an expected failure.
  EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("runtime error:"), std::string::npos) << run.err;
  return run;
}

// Lines of a text, without their newlines.
inline std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  gchar **parts = g_strsplit(text.c_str(), "\n", -1);
  for (gchar **p = parts; *p != nullptr; p++)
    if (**p != '\0') lines.push_back(*p);
  g_strfreev(parts);
  return lines;
}

// Command lines that must all end with `status` and say `message` on stderr.
struct ExpectedFailure {
  std::vector<std::string> args;
  std::string message;
};

inline void expect_failures(int status, const std::vector<ExpectedFailure> &cases) {
  for (const auto &c : cases) {
    PtzctlRun run = run_ptzctl(c.args);
    EXPECT_EQ(run.status, status) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << "expected '" << c.message << "' in:\n" << run.err;
    EXPECT_TRUE(run.out.empty()) << c.message;
  }
}

class PtzctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (PTZCTL_PATH[0] == '\0') GTEST_SKIP() << "ptzctl is not built (VELMORA_BUILD_EXAMPLES is OFF)";
  }
};

}  // namespace velmora::testing
