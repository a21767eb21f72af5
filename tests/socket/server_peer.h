// A foreign peer of the socket channel: raw Unix-domain sockets that speak
// the command framing byte by byte, independent of the library's client.
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
inline int connect_raw(const std::string &path, int type = SOCK_STREAM) {
  int fd = socket(AF_UNIX, type, 0);
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

// A framed message: total length (header included), id, payload.
inline std::string frame(uint32_t id, const std::string &payload) {
  uint32_t total = uint32_t(payload.size() + 8);
  std::string bytes(reinterpret_cast<const char *>(&total), 4);
  bytes.append(reinterpret_cast<const char *>(&id), 4);
  return bytes + payload;
}

// A bare header with an arbitrary length field.
inline std::string header(uint32_t length, uint32_t id) {
  std::string bytes(reinterpret_cast<const char *>(&length), 4);
  return bytes.append(reinterpret_cast<const char *>(&id), 4);
}

inline bool send_all(int fd, const std::string &bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// Waits up to timeout_ms for fd to become readable; meanwhile the default
// main context is iterated when `serve` (the server under test runs there).
inline bool wait_readable(int fd, gint64 deadline, bool serve) {
  for (;;) {
    int left = int((deadline - g_get_monotonic_time()) / 1000);
    if (left <= 0) return false;
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, serve ? MIN(left, 2) : left) > 0) return true;
    if (serve)
      while (g_main_context_iteration(nullptr, FALSE)) {
      }
  }
}

// Reads exactly n bytes within timeout_ms; fewer when the peer closes or the
// time runs out.
inline std::string read_bytes(int fd, size_t n, int timeout_ms = 10000, bool serve = true) {
  std::string out;
  gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  while (out.size() < n) {
    if (!wait_readable(fd, deadline, serve)) break;
    char buffer[4096];
    ssize_t r = read(fd, buffer, MIN(sizeof(buffer), n - out.size()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    out.append(buffer, size_t(r));
  }
  return out;
}

// Whether the peer closed the connection (EOF or reset) within timeout_ms.
inline bool peer_closed(int fd, int timeout_ms = 10000) {
  gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
  for (;;) {
    if (!wait_readable(fd, deadline, true)) return false;
    char byte;
    ssize_t r = recv(fd, &byte, 1, MSG_DONTWAIT);
    if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR)) return true;
  }
}

struct Reply {
  bool ok = false;
  uint32_t length = 0;
  uint32_t id = 0;
  std::string payload;
};

// Reads one framed message.
inline Reply read_reply(int fd, int timeout_ms = 10000, bool serve = true) {
  Reply reply;
  std::string head = read_bytes(fd, 8, timeout_ms, serve);
  if (head.size() != 8) return reply;
  memcpy(&reply.length, head.data(), 4);
  memcpy(&reply.id, head.data() + 4, 4);
  if (reply.length < 8 || reply.length > 2560) return reply;
  reply.payload = read_bytes(fd, reply.length - 8, timeout_ms, serve);
  reply.ok = reply.payload.size() == reply.length - 8;
  return reply;
}

// Number of descriptors open in this process.
inline int open_descriptors() {
  int n = 0;
  GDir *dir = g_dir_open("/proc/self/fd", 0, nullptr);
  if (dir == nullptr) return -1;
  while (g_dir_read_name(dir) != nullptr) n++;
  g_dir_close(dir);
  return n;
}

}  // namespace velmora::testing
