// Fixtures of the socket client tests: a command server running in a child
// process, and a recorder of what reaches a command client's reply dispatcher.
#pragma once

#include <errno.h>
#include <glib.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ptz_socket_client.h"
#include "ptz_socket_server.h"
#include "velmora_test.h"

namespace velmora::testing {

// ---- raw peers speaking the framing byte by byte ---------------------------

// A stream socket connected to `path`, or -1.
inline int connect_raw(const std::string &path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  g_strlcpy(address.sun_path, path.c_str(), sizeof(address.sun_path));
  if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A bare header with an arbitrary length field.
inline std::string header(guint32 length, guint32 id) {
  std::string bytes(reinterpret_cast<const char *>(&length), 4);
  return bytes.append(reinterpret_cast<const char *>(&id), 4);
}

// A framed message: total length (header included), id, payload.
inline std::string frame(guint32 id, const std::string &payload) {
  return header(guint32(payload.size() + 8), id) + payload;
}

inline bool send_all(int fd, const std::string &bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
      pollfd p = {fd, POLLOUT, 0};
      poll(&p, 1, 100);
      continue;
    }
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// Reads exactly n bytes within timeout_ms; fewer when the peer closes or the
// time runs out.
inline std::string read_bytes(int fd, size_t n, int timeout_ms) {
  std::string out;
  gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  while (out.size() < n) {
    int left = int((deadline - g_get_monotonic_time()) / 1000);
    if (left <= 0) break;
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) continue;
    char buffer[4096];
    ssize_t r = recv(fd, buffer, MIN(sizeof(buffer), n - out.size()), MSG_DONTWAIT);
    if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (r <= 0) break;
    out.append(buffer, size_t(r));
  }
  return out;
}

// Whether the other end has closed the connection.
inline bool peer_closed(int fd) {
  char byte;
  ssize_t r = recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
  return r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR);
}

struct Message {
  bool ok = false;
  guint32 length = 0;
  guint32 id = 0;
  std::string payload;
};

// Reads one framed message within timeout_ms.
inline Message read_message(int fd, int timeout_ms) {
  Message message;
  std::string head = read_bytes(fd, 8, timeout_ms);
  if (head.size() != 8) return message;
  memcpy(&message.length, head.data(), 4);
  memcpy(&message.id, head.data() + 4, 4);
  if (message.length < 8 || message.length > 2560) return message;
  message.payload = read_bytes(fd, message.length - 8, timeout_ms);
  message.ok = message.payload.size() == message.length - 8;
  return message;
}

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

// A synchronous command; the reply's text goes to `reply_text`.
inline bool sync_send(PTZSocketClientCommand *client, const std::string &payload,
                      std::string *reply_text = nullptr) {
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
