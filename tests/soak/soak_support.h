// Shared pieces of the soak and load runs: request payloads whose replies
// prove which command they answer, the serving child, and descriptor
// accounting.
#pragma once

#include <dirent.h>
#include <glib-unix.h>
#include <glib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ptz_socket_client.h"
#include "ptz_socket_server.h"
#include "tests/socket/client_fixture.h"
#include "velmora_test.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELMORA_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELMORA_SOAK_SANITIZED 1
#endif
#endif

namespace velmora::soak {

constexpr gsize kPayloadMax = 2552;

// Request kinds (the first payload byte).
constexpr char kSync = 'S';
constexpr char kAsync = 'A';
constexpr char kDelayed = 'D';   // answered 150 ms later, so some are always in flight
constexpr char kCountFds = 'C';  // answered with the server's number of open descriptors

// Entries of /proc/self/fd, the directory's own descriptor not counted.
inline int count_open_fds() {
  DIR *dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int n = 0;
  while (dirent *entry = readdir(dir))
    if (entry->d_name[0] != '.') n++;
  closedir(dir);
  return n - 1;
}

// Raises the soft descriptor limit to the hard one (inherited by children
// forked afterwards); false when the hard limit is below `needed`.
inline bool raise_fd_limit(rlim_t needed, rlim_t *hard = nullptr) {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (hard != nullptr) *hard = limit.rlim_max;
  limit.rlim_cur = limit.rlim_max;
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  return limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= needed;
}

// A payload naming its sender and sequence number, of a length that varies
// with both; every 16th is as large as a message allows.
inline std::string make_payload(char kind, int client, unsigned seq) {
  std::string text = std::string(1, kind) + "|c" + std::to_string(client) + "|s" + std::to_string(seq) + "|";
  gsize length = seq % 16 == 0 ? kPayloadMax : 24 + (unsigned(client) * 131u + seq * 17u) % 600u;
  for (gsize i = text.size(); i < length; i++) text += char('a' + (i * 7 + seq + unsigned(client)) % 26);
  return text;
}

// The server's answer: the request reversed with every byte changed, so an
// echo, a truncation or a reply to another request never passes for it.
inline std::string derive_reply(std::string_view request) {
  std::string reply(request.rbegin(), request.rend());
  for (char &c : reply) c = char(c ^ 0x20);
  return reply;
}

// ---- asynchronous commands ------------------------------------------------------

// One asynchronous command: what it asked and what reached the dispatcher.
struct Token {
  int client = 0;
  unsigned seq = 0;
  char kind = kAsync;
  bool accepted = false;  // the send returned TRUE
  gint64 sent_us = 0;
  std::atomic<int> replies{0}, expiries{0}, wrong{0};
  std::atomic<gint64> reported_us{0};

  bool reported() const { return replies + expiries + wrong > 0; }
};

// The reply dispatcher of the clients; runs on the main context's thread.
inline void dispatch(gpointer data, const gchar *reply, gsize length) {
  auto *token = static_cast<Token *>(data);
  token->reported_us = g_get_monotonic_time();
  if (reply == nullptr)
    token->expiries++;
  else if (std::string_view(reply, length) == derive_reply(make_payload(token->kind, token->client, token->seq)))
    token->replies++;
  else
    token->wrong++;
}

// Sends `token`'s command on `client`; the token records whether it went out.
inline void send_async(PTZSocketClientCommand *client, Token *token) {
  token->sent_us = g_get_monotonic_time();
  std::string payload = make_payload(token->kind, token->client, token->seq);
  token->accepted = ptz_socket_client_command_async_send(client, payload.data(), payload.size(), token);
}

// ---- the serving child --------------------------------------------------------

struct DelayedReply {
  PTZSocketServerHandle *handle;
  std::string text;
};

inline gboolean send_delayed(gpointer data) {
  auto *later = static_cast<DelayedReply *>(data);
  ptz_socket_server_send(later->handle, later->text.data(), later->text.size());
  delete later;
  return G_SOURCE_REMOVE;
}

inline gboolean answer(gpointer, PTZSocketServerHandle *handle, const gchar *data, gsize length) {
  std::string_view request(data, length);
  std::string reply;
  if (request.empty()) {
    reply = "empty";
  } else if (request[0] == kCountFds) {
    reply = std::to_string(count_open_fds());
  } else if (request[0] == kDelayed) {
    g_timeout_add(150, send_delayed, new DelayedReply{handle, derive_reply(request)});
    return TRUE;
  } else {
    reply = derive_reply(request);
  }
  ptz_socket_server_send(handle, reply.data(), reply.size());
  return TRUE;
}

inline gboolean quit_loop(gint, GIOCondition, gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop *>(loop));
  return G_SOURCE_REMOVE;
}

// Body of a server process: a command server at `path`. With a `stop`
// descriptor, it stops in good order (the server finalized, its socket file
// gone, status 0) once that descriptor becomes readable or its writer closes
// it. Dies with the process that forked it.
inline int serve(const std::string &path, int stop = -1) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  PTZSocketServerCommand *server = ptz_socket_server_command_new(path.c_str(), SOCK_STREAM);
  if (PTZ_SOCKET(server)->fd < 0) return 3;
  ptz_socket_server_register_callback(PTZ_SOCKET_SERVER(server), answer, nullptr);
  GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
  if (stop >= 0) g_unix_fd_add(stop, GIOCondition(G_IO_IN | G_IO_HUP), quit_loop, loop);
  g_main_loop_run(loop);
  g_object_unref(server);
  g_main_loop_unref(loop);
  return 0;
}

}  // namespace velmora::soak
