// Fixtures of the socket client tests: a command server running in a child
// process, and a recorder of what reaches a command client's reply dispatcher.
#pragma once

#include <glib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ptz_socket_client.h"
#include "ptz_socket_server.h"
#include "server_peer.h"
#include "velmora_test.h"

namespace velmora::testing {

// ---- the serving child ----------------------------------------------------

struct ServeState {
  std::vector<std::pair<PTZSocketServerHandle *, std::string>> held;
};

struct DelayedReply {
  PTZSocketServerHandle *handle;
  std::string text;
};

inline void answer(PTZSocketServerHandle *handle, const std::string &text) {
  ptz_socket_server_send(handle, text.data(), text.size());
}

// What the payload asks of the server:
//   "hold:<text>"        keep unanswered until "release"
//   "release"            answer the held commands newest first, each with
//                        its <text>, then this one with "released"
//   "silent"             never answer
//   "delay:<ms>:<text>"  answer <text> after <ms> milliseconds
//   "exit"               end the server process at once, without answering
//   anything else        echo it back
inline gboolean serve_one(gpointer data, PTZSocketServerHandle *handle, const gchar *payload, gsize length) {
  auto *state = static_cast<ServeState *>(data);
  std::string text(payload, length);
  if (text.rfind("hold:", 0) == 0) {
    state->held.emplace_back(handle, text.substr(5));
  } else if (text == "release") {
    for (auto it = state->held.rbegin(); it != state->held.rend(); ++it) answer(it->first, it->second);
    state->held.clear();
    answer(handle, "released");
  } else if (text == "silent") {
    // The handle is never answered.
  } else if (text == "exit") {
    _exit(0);
  } else if (text.rfind("delay:", 0) == 0) {
    size_t colon = text.find(':', 6);
    auto *later = new DelayedReply{handle, text.substr(colon + 1)};
    g_timeout_add(guint(atoi(text.c_str() + 6)), [](gpointer p) -> gboolean {
      auto *reply = static_cast<DelayedReply *>(p);
      answer(reply->handle, reply->text);
      delete reply;
      return G_SOURCE_REMOVE;
    }, later);
  } else {
    answer(handle, text);
  }
  return TRUE;
}

// Body of a child process: a command server at `path` on the child's main loop.
inline int serve_commands(const std::string &path) {
  ServeState state;
  PTZSocketServerCommand *server = ptz_socket_server_command_new(path.c_str(), SOCK_STREAM);
  if (PTZ_SOCKET(server)->fd < 0) return 3;
  ptz_socket_server_register_callback(PTZ_SOCKET_SERVER(server), serve_one, &state);
  GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop);
  return 0;
}

// Waits until something accepts connections at `path`.
inline bool wait_for_listener(const std::string &path, int timeout_ms = 10000) {
  gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  while (g_get_monotonic_time() < deadline) {
    int fd = connect_raw(path);
    if (fd >= 0) {
      close(fd);
      return true;
    }
    g_usleep(5000);
  }
  return false;
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

struct Dispatch {
  int number;
  bool null_data;
  std::string data;
  gsize length;
};

struct Recorder {
  mutable std::mutex mutex;
  std::vector<Dispatch> calls;
  int retries_sent = 0;

  size_t size() const {
    std::lock_guard<std::mutex> lock(mutex);
    return calls.size();
  }
  std::vector<Dispatch> of(int number) const {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<Dispatch> out;
    for (auto &c : calls)
      if (c.number == number) out.push_back(c);
    return out;
  }
};

inline void record_dispatch(gpointer user_data, const gchar *data, gsize length) {
  auto *token = static_cast<Token *>(user_data);
  {
    std::lock_guard<std::mutex> lock(token->recorder->mutex);
    token->recorder->calls.push_back(
        {token->number, data == nullptr, data != nullptr ? std::string(data, length) : std::string(), length});
  }
  if (token->retry_on != nullptr &&
      ptz_socket_client_command_async_send(token->retry_on, "retry", 5, token->retry_token))
    token->recorder->retries_sent++;
}

}  // namespace velmora::testing
