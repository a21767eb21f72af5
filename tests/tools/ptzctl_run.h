// Runs the built ptzctl binary as a child process and collects what it
// writes, optionally serving the default main context (where a test's
// server lives) while it runs.
#pragma once

#include <glib.h>
#include <gtest/gtest.h>
#include <json-glib/json-glib.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
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

inline PtzctlRun run_ptzctl(const std::vector<std::string> &args, bool serve = false, const PtzctlTick &tick = nullptr,
                            int timeout_ms = 60000) {
  PtzctlRun run;
  int out_pipe[2];
  FILE *err_file = tmpfile();  // stderr is read once the child is done
  if (err_file == nullptr || pipe(out_pipe) != 0) return run;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(fileno(err_file), 2);
    close(out_pipe[0]);
    std::vector<char *> argv = {const_cast<char *>(PTZCTL_PATH)};
    for (const auto &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    execv(PTZCTL_PATH, argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  pollfd out = {out_pipe[0], POLLIN, 0};
  const gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  bool killed = false;
  for (;;) {
    if (!killed && (g_get_monotonic_time() > deadline || (tick && tick(run.out)))) {
      kill(pid, SIGKILL);
      killed = true;
    }
    while (serve && g_main_context_iteration(nullptr, FALSE)) {
    }
    if (poll(&out, 1, serve ? 2 : 10) <= 0) continue;
    char buffer[4096];
    ssize_t n = read(out.fd, buffer, sizeof buffer);
    if (n <= 0) break;
    run.out.append(buffer, size_t(n));
  }
  close(out.fd);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  rewind(err_file);
  for (int c; (c = fgetc(err_file)) != EOF;) run.err += char(c);
  fclose(err_file);
  // In sanitizer builds a fault of the tool must not pass for an expected failure.
  EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("runtime error:"), std::string::npos) << run.err;
  return run;
}

// The stdout of a command line that must succeed.
inline std::string output_of(const std::vector<std::string> &args, bool serve = false) {
  PtzctlRun run = run_ptzctl(args, serve);
  EXPECT_EQ(run.status, 0) << run.err;
  return run.out;
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

// One JSON document as ptzctl printed it, parsed by an independent parser.
// at("values/1/value") walks objects by member name and arrays by index;
// it gives NULL for a path that is not there.
class JsonDoc {
 public:
  explicit JsonDoc(const std::string &text) : parser_(json_parser_new()) {
    GError *error = nullptr;
    valid_ = json_parser_load_from_data(parser_, text.data(), gssize(text.size()), &error);
    if (!valid_) ADD_FAILURE() << "not JSON: " << (error ? error->message : "") << "\n" << text;
    g_clear_error(&error);
  }
  ~JsonDoc() { g_object_unref(parser_); }
  JsonDoc(const JsonDoc &) = delete;
  JsonDoc &operator=(const JsonDoc &) = delete;

  bool valid() const { return valid_; }
  JsonNode *at(const std::string &path) const {
    JsonNode *node = valid_ ? json_parser_get_root(parser_) : nullptr;
    gchar **steps = g_strsplit(path.c_str(), "/", -1);
    for (gchar **step = steps; node != nullptr && *step != nullptr && **step != '\0'; step++) {
      if (JSON_NODE_HOLDS_OBJECT(node)) {
        JsonObject *object = json_node_get_object(node);
        node = json_object_has_member(object, *step) ? json_object_get_member(object, *step) : nullptr;
      } else if (JSON_NODE_HOLDS_ARRAY(node)) {
        JsonArray *array = json_node_get_array(node);
        guint64 i = g_ascii_strtoull(*step, nullptr, 10);
        node = i < json_array_get_length(array) ? json_array_get_element(array, guint(i)) : nullptr;
      } else {
        node = nullptr;
      }
    }
    g_strfreev(steps);
    return node;
  }
  // The node at `path` written back as compact JSON ("<none>" when absent).
  std::string text(const std::string &path) const {
    JsonNode *node = at(path);
    if (node == nullptr) return "<none>";
    gchar *written = json_to_string(node, FALSE);
    std::string result = written;
    g_free(written);
    return result;
  }
  std::string string(const std::string &path) const {
    JsonNode *node = at(path);
    return node != nullptr && JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == G_TYPE_STRING
               ? json_node_get_string(node)
               : "<not a string>";
  }
  size_t length(const std::string &path) const {
    JsonNode *node = at(path);
    return node != nullptr && JSON_NODE_HOLDS_ARRAY(node) ? json_array_get_length(json_node_get_array(node)) : 0;
  }

 private:
  JsonParser *parser_;
  bool valid_ = false;
};

class PtzctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (PTZCTL_PATH[0] == '\0') GTEST_SKIP() << "ptzctl is not built (VELMORA_BUILD_EXAMPLES is OFF)";
  }
};

}  // namespace velmora::testing
