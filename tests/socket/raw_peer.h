// A foreign peer of the socket channel: raw Unix-domain sockets speaking the
// command framing, independent of the library's clients and servers.
#pragma once

#include <errno.h>
#include <glib.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace velmora::testing {

// A blocking stream socket connected to `path`, or -1.
inline int connect_raw(const std::string &path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  g_strlcpy(address.sun_path, path.c_str(), sizeof(address.sun_path));
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
    close(fd);
    fd = -1;
  }
  return fd;
}

// A header with any length field (total length, header included), then payload.
inline std::string frame(uint32_t id, const std::string &payload, int64_t length_field = -1) {
  uint32_t length = length_field < 0 ? uint32_t(payload.size() + 8) : uint32_t(length_field);
  std::string bytes(reinterpret_cast<const char *>(&length), 4);
  return bytes.append(reinterpret_cast<const char *>(&id), 4) + payload;
}

inline bool send_all(int fd, const std::string &bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

// Up to n bytes within timeout_ms, fewer when the peer closes or time runs
// out. With `serve`, the default main context (where the server under test
// runs) is iterated meanwhile; peers on threads of their own do not serve.
inline std::string read_bytes(int fd, size_t n, int timeout_ms = 10000, bool serve = true) {
  std::string out;
  gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  while (out.size() < n && g_get_monotonic_time() < deadline) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, serve ? 2 : 50) <= 0) {
      while (serve && g_main_context_iteration(nullptr, FALSE)) {
      }
      continue;
    }
    char buffer[4096];
    ssize_t r = read(fd, buffer, MIN(sizeof(buffer), n - out.size()));
    if (r <= 0) break;
    out.append(buffer, size_t(r));
  }
  return out;
}

// Whether the other end closed this connection (EOF) within the time.
inline bool peer_closed(int fd) {
  std::string rest = read_bytes(fd, 1 << 20);
  return rest.size() < (1 << 20);
}

struct Reply {
  uint32_t length = 0;
  uint32_t id = 0;
  std::string payload;
};

// One framed message; length 0 when none came.
inline Reply read_reply(int fd, int timeout_ms = 10000, bool serve = true) {
  Reply reply;
  std::string head = read_bytes(fd, 8, timeout_ms, serve);
  if (head.size() != 8) return reply;
  memcpy(&reply.length, head.data(), 4);
  memcpy(&reply.id, head.data() + 4, 4);
  if (reply.length >= 8 && reply.length <= 2560) reply.payload = read_bytes(fd, reply.length - 8, timeout_ms, serve);
  return reply;
}

inline int open_descriptors() {
  int n = 0;
  if (GDir *dir = g_dir_open("/proc/self/fd", 0, nullptr)) {
    while (g_dir_read_name(dir) != nullptr) n++;
    g_dir_close(dir);
  }
  return n;
}

}  // namespace velmora::testing
