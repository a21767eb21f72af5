// Fixtures of the socket client tests: a command server running in a child
// process, and a recorder of what reaches a command client's reply dispatcher.
#pragma once

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ptz_socket_client.h"
#include "ptz_socket_server.h"
#include "raw_peer.h"
#include "velmora_test.h"

namespace velmora::testing {

// ---- the serving child --------------------------------------------------------

inline void answer(PTZSocketServerHandle *handle, const std::string &text) {
  ptz_socket_server_send(handle, text.data(), text.size());
}

// What the payload asks of the server:
//   "silent"             never answer
//   "delay:<ms>:<text>"  answer <text> after <ms> milliseconds
//   "exit"               end the server process at once, without answering
//   anything else        echo it back
inline gboolean serve_one(gpointer, PTZSocketServerHandle *handle, const gchar *payload, gsize length) {
  std::string text(payload, length);
  if (text == "exit") {
    _exit(0);
  } else if (text.rfind("delay:", 0) == 0) {
    auto *later = new std::pair(handle, text.substr(text.find(':', 6) + 1));
    g_timeout_add(
        guint(atoi(text.c_str() + 6)),
        [](gpointer p) -> gboolean {
          auto *reply = static_cast<std::pair<PTZSocketServerHandle *, std::string> *>(p);
          answer(reply->first, reply->second);
          delete reply;
          return G_SOURCE_REMOVE;
        },
        later);
  } else if (text != "silent") {
    answer(handle, text);
  }
  return TRUE;
}

// Body of a child process: a command server at `path` on the child's main loop.
inline int serve_commands(const std::string &path) {
  PTZSocketServerCommand *server = ptz_socket_server_command_new(path.c_str(), SOCK_STREAM);
  if (PTZ_SOCKET(server)->fd < 0) return 3;
  ptz_socket_server_register_callback(PTZ_SOCKET_SERVER(server), serve_one, nullptr);
  g_main_loop_run(g_main_loop_new(nullptr, FALSE));
  return 0;
}

// Waits until something accepts connections at `path`. Never iterates a main
// context, so any thread may wait.
inline bool wait_for_listener(const std::string &path, int timeout_ms = 10000) {
  gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  for (int fd; g_get_monotonic_time() < deadline; g_usleep(5000)) {
    if ((fd = connect_raw(path)) >= 0) {
      close(fd);
      return true;
    }
  }
  return false;
}

// A command server in a child process, listening at `path` once this returns.
inline std::unique_ptr<Child> start_server(const std::string &path) {
  auto child = std::make_unique<Child>([path] { return serve_commands(path); });
  EXPECT_TRUE(wait_for_listener(path));
  return child;
}

// A synchronous command; the reply's text goes to `reply_text`.
inline bool sync_send(PTZSocketClientCommand *client, const std::string &payload, std::string *reply_text = nullptr) {
  char reply[2552];
  gsize length = 0;
  if (!ptz_socket_client_command_sync_send(client, payload.data(), payload.size(), reply, &length)) return false;
  if (reply_text != nullptr) reply_text->assign(reply, length);
  return true;
}

// ---- the reply dispatcher ---------------------------------------------------

struct Recorder;

// The user data of one asynchronous command.
struct Token {
  Recorder *recorder;
  int number;
  // When set, the dispatcher sends "retry" on this client (with
  // `retry_token`) from inside its call for this token.
  PTZSocketClientCommand *retry_on = nullptr;
  Token *retry_token = nullptr;
};

// What reached the reply dispatcher, in order: (command number, text); the
// text of an expiry (NULL data, length 0) is "expired".
struct Recorder {
  mutable std::mutex mutex;
  std::vector<std::pair<int, std::string>> calls;

  size_t size() const {
    std::lock_guard<std::mutex> lock(mutex);
    return calls.size();
  }
  // The texts of the calls for one command, space-separated.
  std::string of(int number) const {
    std::lock_guard<std::mutex> lock(mutex);
    std::string out;
    for (auto &[n, text] : calls)
      if (n == number) out += (out.empty() ? "" : " ") + text;
    return out;
  }
  // All calls, each as "<number>:<text>".
  std::string summary() const {
    std::lock_guard<std::mutex> lock(mutex);
    std::string out;
    for (auto &[n, text] : calls) out += (out.empty() ? "" : " ") + std::to_string(n) + ":" + text;
    return out;
  }
};

inline void record_dispatch(gpointer user_data, const gchar *data, gsize length) {
  auto *token = static_cast<Token *>(user_data);
  std::string text = data != nullptr ? std::string(data, length) : length == 0 ? "expired" : "NULL with a length";
  {
    std::lock_guard<std::mutex> lock(token->recorder->mutex);
    token->recorder->calls.emplace_back(token->number, text);
  }
  if (token->retry_on != nullptr) ptz_socket_client_command_async_send(token->retry_on, "retry", 5, token->retry_token);
}

}  // namespace velmora::testing
