// PTZSocket: the base of every Unix-domain socket endpoint of the command
// channel (listening server, reconnecting client, or a wrapped descriptor),
// with read and write that wait with a time limit.
#include "ptz_socket.h"

#include <errno.h>
#include <fcntl.h>
#include <glib/gstdio.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "common/ptz_log.h"
#include "common/ptz_unique_fd.h"
#include "socket/ptz_socket_private.h"

namespace {

struct PTZSocketPrivate {
  void (*reconnect_notify)(PTZSocket *self, gpointer data);
  gpointer reconnect_data;
  // Identity of the socket file this server bound, so finalization removes
  // that file and never one another process put at the same path since.
  bool bound;
  dev_t bound_dev;
  ino_t bound_ino;
};

enum {
  PROP_0,
  PROP_SOCKET
};

// The names the endpoint logs under.
constexpr char kOpenServerSocket[] = "open_server_socket";
constexpr char kOpenClientSocket[] = "open_client_socket";
constexpr char kSocketRead[] = "socket_read";
constexpr char kSocketWrite[] = "socket_write";
constexpr char kSocketFinalize[] = "ptz_socket_finalize";

// Sockets in this directory with this name prefix are shared with other
// users of the device; every other socket is private to its owner.
constexpr char kSharedPrefix[] = "/var/run/ptz/libvelmora";
constexpr size_t kMaxPath = sizeof(sockaddr_un::sun_path) - 1;
constexpr int kListenBacklog = 4096;
constexpr guint kRetrySeconds = 1;
// The connect-failure warning is logged once per this many failures.
constexpr guint kConnectWarningPace = 300;

// Failed connects of every client endpoint of the process; only paces a log line.
std::atomic<guint> failed_connects{0};

const char *path_text(const PTZSocket *self) { return self->socket != nullptr ? self->socket : "(null)"; }

gint64 elapsed_ms(gint64 start_us) { return (g_get_monotonic_time() - start_us) / 1000; }

bool set_nonblocking(int fd, const char *function) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) {
    PTZ_LOG_ERR("%s: Failed to get file descriptor flags.", function);
    return false;
  }
  if (fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    PTZ_LOG_ERR("%s: Failed to set file descriptor to O_NONBLOCK.", function);
    return false;
  }
  return true;
}

bool make_address(const char *path, sockaddr_un *address, const char *function) {
  memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (strlen(path) > kMaxPath) {
    PTZ_LOG_ERR("%s: server_addr.sun_path too short(truncated).", function);
    return false;
  }
  memcpy(address->sun_path, path, strlen(path));
  return true;
}

void close_fd(PTZSocket *self) {
  if (self->fd >= 0) close(self->fd);
  self->fd = -1;
}

}  // namespace

G_DEFINE_TYPE_WITH_PRIVATE(PTZSocket, ptz_socket, G_TYPE_OBJECT)

namespace {

PTZSocketPrivate *priv(PTZSocket *self) {
  return static_cast<PTZSocketPrivate *>(ptz_socket_get_instance_private(self));
}

// Steps of opening a listening socket on `fd`, a new socket; false when one
// failed (it has logged why).
bool bind_and_listen(PTZSocket *self, int fd) {
  const char *path = self->socket;
  sockaddr_un address;
  if (!set_nonblocking(fd, kOpenServerSocket) || !make_address(path, &address, kOpenServerSocket)) return false;
  if (g_file_test(path, G_FILE_TEST_EXISTS) && g_unlink(path) != 0)
    PTZ_LOG_ERR("%s@%d: Failed to unlink %s: %m", kOpenServerSocket, __LINE__, path);
  if (bind(fd, reinterpret_cast<sockaddr *>(&address), socklen_t(strlen(path) + 2)) != 0) {
    PTZ_LOG_ERR("%s: Unable to bind to path '%s' %s.", kOpenServerSocket, path, g_strerror(errno));
    return false;
  }
  struct stat st;
  PTZSocketPrivate *p = priv(self);
  if (stat(path, &st) == 0) {
    p->bound = true;
    p->bound_dev = st.st_dev;
    p->bound_ino = st.st_ino;
  }
  mode_t mode = g_str_has_prefix(path, kSharedPrefix) ? 0666 : 0600;
  if (chmod(path, mode) != 0) {
    PTZ_LOG_ERR("%s: chmod failed on '%s'.", kOpenServerSocket, path);
    return false;
  }
  if (listen(fd, kListenBacklog) != 0) {
    PTZ_LOG_ERR("%s: listen failed.", kOpenServerSocket);
    return false;
  }
  return true;
}

// Whether the file at the endpoint's path is still the socket it bound.
bool owns_socket_file(PTZSocket *self) {
  PTZSocketPrivate *p = priv(self);
  struct stat st;
  return p->bound && lstat(self->socket, &st) == 0 && st.st_dev == p->bound_dev && st.st_ino == p->bound_ino;
}

// Leaves the listening descriptor in self->fd, or -1.
void open_server_socket(PTZSocket *self) {
  if (self->socket == nullptr) return;
  velmora::UniqueFd fd(::socket(AF_UNIX, self->type, 0));
  if (!fd.valid()) {
    PTZ_LOG_ERR("Failed to create listening socket");
    return;
  }
  if (bind_and_listen(self, fd.get())) {
    self->fd = fd.release();
    return;
  }
  // Only a file this endpoint bound is removed: a path that was too long or
  // could not be bound may name somebody else's file.
  if (owns_socket_file(self)) g_unlink(self->socket);
  priv(self)->bound = false;
}

// Leaves the connected descriptor in self->fd, or -1.
void open_client_socket(PTZSocket *self) {
  velmora::UniqueFd fd(::socket(AF_UNIX, self->type, 0));
  if (!fd.valid()) {
    PTZ_LOG_ERR("Could not open client socket, type=%d, errno=%s", self->type, g_strerror(errno));
    return;
  }
  sockaddr_un address;
  if (!set_nonblocking(fd.get(), kOpenClientSocket) || !make_address(self->socket, &address, kOpenClientSocket)) return;
  if (connect(fd.get(), reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
    int error = errno;
    guint failures = failed_connects.fetch_add(1, std::memory_order_relaxed) + 1;
    if (failures % kConnectWarningPace == 0)
      PTZ_LOG_WARNING("%s: Unable to connect to '%s': errno=%d, %s", kOpenClientSocket, self->socket, error,
                      g_strerror(error));
    return;
  }
  self->fd = fd.release();
}

gboolean retry_connect(gpointer data) {
  PTZSocket *self = PTZ_SOCKET(data);
  open_client_socket(self);
  if (self->fd < 0) return G_SOURCE_CONTINUE;
  self->retry_source = 0;
  PTZSocketPrivate *p = priv(self);
  if (p->reconnect_notify != nullptr) p->reconnect_notify(self, p->reconnect_data);
  return G_SOURCE_REMOVE;
}

guint ptz_socket_add_retry(PTZSocket *self) {
  g_assert(self->socket);
  close_fd(self);
  if (self->retry_source == 0) self->retry_source = g_timeout_add_seconds(kRetrySeconds, retry_connect, self);
  return self->retry_source;
}

int socket_read(PTZSocket *self, int fd, void *buffer, gsize length, int timeout_ms) {
  if (fd < 0) {
    PTZ_LOG_WARNING("%s: not opened %s", kSocketRead, path_text(self));
    return 0;
  }
  if (length == 0) return 0;
  auto *bytes = static_cast<guint8 *>(buffer);
  gsize got = 0;
  if (timeout_ms == 0) {
    for (int call = 0; call < 5 && got < length; call++) {
      ssize_t n = read(fd, bytes + got, length - got);
      if (n > 0) {
        got += gsize(n);
      } else if (n == 0) {
        break;  // the peer has closed: nothing more will come
      } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        g_usleep(1000);
      } else {
        return -1;
      }
    }
    return int(got);
  }
  if (timeout_ms < 0) return 0;
  gint64 start = g_get_monotonic_time();
  gint64 remaining = timeout_ms;
  for (;;) {
    pollfd p = {fd, POLLIN, 0};
    int r = poll(&p, 1, int(remaining));
    if (r < 0 && errno != EINTR) {
      PTZ_LOG_ERR("%s: poll returned with error: '%s'", kSocketRead, g_strerror(errno));
      return -1;
    }
    if (r > 0) {
      ssize_t n = read(fd, bytes + got, length - got);
      if (n > 0) {
        got += gsize(n);
      } else if (n == 0) {
        break;  // the peer has closed: waiting longer cannot bring more
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        PTZ_LOG_ERR("%s: read from port failed: '%m'", kSocketRead);
        return -1;
      }
    }
    if (got == length) break;
    remaining = timeout_ms - elapsed_ms(start);
    if (remaining <= 0) break;
  }
  return int(got);
}

int socket_write(PTZSocket *self, int fd, const void *buffer, gsize length, int timeout_ms) {
  iovec piece = {const_cast<void *>(buffer), length};
  return velmora::socket::write_vectored(self, fd, &piece, 1, timeout_ms);
}

void set_property(GObject *object, guint id, const GValue *value, GParamSpec *pspec) {
  PTZSocket *self = PTZ_SOCKET(object);
  switch (id) {
    case PROP_SOCKET:
      g_free(self->socket);
      self->socket = g_value_dup_string(value);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

void get_property(GObject *object, guint id, GValue *, GParamSpec *pspec) {
  // "socket" is write-only, so every id is invalid here.
  G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

}  // namespace

static void ptz_socket_class_init(PTZSocketClass *klass) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = set_property;
  object_class->get_property = get_property;
  object_class->finalize = ptz_socket_finalize;
  klass->read = socket_read;
  klass->write = socket_write;
  klass->add_retry = ptz_socket_add_retry;
  g_object_class_install_property(object_class, PROP_SOCKET,
                                  g_param_spec_string("socket", "Socket", "Socket", nullptr,
                                                      GParamFlags(G_PARAM_WRITABLE | G_PARAM_STATIC_STRINGS)));
}

static void ptz_socket_init(PTZSocket *self) {
  self->socket = nullptr;
  self->fd = -1;
  self->type = 0;
  self->retry_source = 0;
  self->role = PTZ_SOCKET_ROLE_CLIENT;
}

extern "C" {

PTZSocket *ptz_socket_new(GType type, int role, const gchar *socket, int socket_type) {
  if (role != PTZ_SOCKET_ROLE_CLIENT && role != PTZ_SOCKET_ROLE_SERVER) g_assert_not_reached();
  PTZSocket *self = PTZ_SOCKET(g_object_new(type, "socket", socket, nullptr));
  self->type = socket_type;
  self->role = role;
  if (role == PTZ_SOCKET_ROLE_SERVER) {
    open_server_socket(self);
  } else if (socket != nullptr) {
    open_client_socket(self);
    if (self->fd < 0) PTZ_SOCKET_GET_CLASS(self)->add_retry(self);
  }
  return self;
}

PTZSocket *ptz_socket_fd_new(GType type, int role, int fd, int socket_type) {
  PTZSocket *self = PTZ_SOCKET(g_object_new(type, nullptr));
  self->fd = fd;
  self->type = socket_type;
  self->role = role;
  return self;
}

void ptz_socket_finalize(GObject *object) {
  PTZSocket *self = PTZ_SOCKET(object);
  if (self->retry_source != 0) {
    g_source_remove(self->retry_source);
    self->retry_source = 0;
  }
  if (self->socket != nullptr) {
    if (self->role == PTZ_SOCKET_ROLE_SERVER && owns_socket_file(self) && g_unlink(self->socket) != 0)
      PTZ_LOG_ERR("%s: Failed to unlink %s", kSocketFinalize, self->socket);
    close_fd(self);
    g_clear_pointer(&self->socket, g_free);
  }
  G_OBJECT_CLASS(ptz_socket_parent_class)->finalize(object);
}

}  // extern "C"

namespace velmora::socket {

void set_reconnect_notify(PTZSocket *self, void (*notify)(PTZSocket *self, gpointer data), gpointer data) {
  PTZSocketPrivate *p = priv(self);
  p->reconnect_notify = notify;
  p->reconnect_data = data;
}

namespace {

// One write to a socket, never waiting (a socket the caller handed in may be
// blocking) and never raising SIGPIPE; ENOTSOCK for other descriptors.
ssize_t send_now(int fd, const struct iovec *iov, int iovcnt) {
  msghdr message = {};
  message.msg_iov = const_cast<iovec *>(iov);
  message.msg_iovlen = size_t(iovcnt);
  return sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

ssize_t write_once(int fd, const struct iovec *iov, int iovcnt) {
  ssize_t n = send_now(fd, iov, iovcnt);
  if (n < 0 && errno == ENOTSOCK) n = writev(fd, iov, iovcnt);
  return n;
}

int write_vectored(PTZSocket *self, int fd, const struct iovec *iov, int iovcnt, int timeout_ms) {
  if (fd < 0) {
    PTZ_LOG_WARNING("%s: not opened %s", kSocketWrite, path_text(self));
    return 0;
  }
  if (iovcnt < 0 || iovcnt > kMaxPieces) return -1;
  if (timeout_ms == 0) {
    ssize_t n = write_once(fd, iov, iovcnt);
    return n > 0 ? int(n) : -1;
  }
  gsize total = 0;
  for (int i = 0; i < iovcnt; i++) total += iov[i].iov_len;
  if (timeout_ms < 0 || total == 0) return -1;

  iovec rest[kMaxPieces];
  std::copy(iov, iov + iovcnt, rest);
  int first = 0;  // first piece not yet written whole
  gsize written = 0;
  gint64 start = g_get_monotonic_time();
  gint64 remaining = timeout_ms;
  // A socket almost always has room: the first write goes out before any
  // poll, and never waits. Other descriptors may be blocking, so they are
  // written only once poll says they have room.
  bool at_once = true;
  for (;;) {
    ssize_t n = 0;
    bool attempted = false;
    if (at_once) {
      at_once = false;
      n = send_now(fd, rest, iovcnt);
      attempted = n >= 0 || errno != ENOTSOCK;
    }
    if (!attempted) {
      pollfd p = {fd, POLLOUT, 0};
      int r = poll(&p, 1, int(remaining));
      if (r < 0 && errno != EINTR) PTZ_LOG_ERR("%s: poll failed: '%s'", kSocketWrite, g_strerror(errno));
      if (r > 0) {
        n = write_once(fd, rest + first, iovcnt - first);
        attempted = true;
      }
    }
    if (attempted && n > 0) {
      written += gsize(n);
      for (gsize left = gsize(n); left > 0 && first < iovcnt;) {
        gsize take = MIN(left, rest[first].iov_len);
        rest[first].iov_base = static_cast<char *>(rest[first].iov_base) + take;
        rest[first].iov_len -= take;
        left -= take;
        if (rest[first].iov_len == 0) first++;
      }
    } else if (attempted && n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      if (errno == EPIPE || errno == ECONNREFUSED) break;
      int error = errno;
      PTZ_LOG_ERR("%s: send failed on: %s, '%m'", kSocketWrite, path_text(self));
      // Only a shortage of memory passes; any other error repeats forever.
      if (error != ENOBUFS && error != ENOMEM) break;
    }
    if (written == total) break;
    remaining = timeout_ms - elapsed_ms(start);
    if (remaining <= 0) break;
  }
  return written > 0 ? int(written) : -1;
}

}  // namespace velmora::socket
