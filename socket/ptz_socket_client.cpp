// PTZSocketClient: a client endpoint whose descriptor is watched on the
// default main context, and PTZSocketClientSignalDataReady, which leaves the
// reading to its callback. Both follow the descriptor that reconnection
// obtains, so a client outlives restarts of its server.
#include "ptz_socket_client.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <new>

#include "common/ptz_guard.h"
#include "common/ptz_log.h"
#include "socket/ptz_socket_client_private.h"
#include "socket/ptz_socket_private.h"

namespace {

constexpr gsize kReadBufferSize = 2560;

struct PTZSocketClientPrivate {
  gint io_fd;  // see velmora::client::io_fd; accessed atomically
  velmora::Mutex io_lock;
  GList *(*take_orphans)(PTZSocketClient *);
};

}  // namespace

G_DEFINE_TYPE_WITH_PRIVATE(PTZSocketClient, ptz_socket_client, PTZ_TYPE_SOCKET)
G_DEFINE_TYPE(PTZSocketClientSignalDataReady, ptz_socket_client_signal_data_ready, PTZ_TYPE_SOCKET_CLIENT)

namespace {

PTZSocketClientPrivate *priv(PTZSocketClient *self) {
  return static_cast<PTZSocketClientPrivate *>(ptz_socket_client_get_instance_private(self));
}

using velmora::MutexLock;
using velmora::client::io_lock;

// Work left for the main context after a connection was lost.
struct LostWork {
  PTZSocketClient *client;  // referenced
  GList *orphans;
};

gboolean finish_lost_connection(gpointer data) {
  auto *work = static_cast<LostWork *>(data);
  velmora::tsan_taken_over(work);
  PTZSocket *socket = PTZ_SOCKET(work->client);
  // The endpoint closes the dead descriptor and reconnects once a second; a
  // descriptor handed in by the caller stays the caller's.
  if (socket->socket != nullptr) PTZ_SOCKET_GET_CLASS(socket)->add_retry(socket);
  for (GList *l = work->orphans; l != nullptr; l = l->next)
    velmora::client::report_expired(work->client, static_cast<PTZSocketPendingCommand *>(l->data));
  g_list_free(work->orphans);
  g_object_unref(work->client);
  g_free(work);
  return G_SOURCE_REMOVE;
}

// Reconnection left a new descriptor in the endpoint: read and watch it.
void on_reconnected(PTZSocket *socket, gpointer data) {
  auto *self = static_cast<PTZSocketClient *>(data);
  MutexLock lock(io_lock(self));
  g_atomic_int_set(&priv(self)->io_fd, socket->fd);
  velmora::socket::source_set_fd(self->source, socket->fd);
}

void on_hangup(gpointer data) {
  auto *self = static_cast<PTZSocketClient *>(data);
  int fd = velmora::client::io_fd(self);
  // Whatever the peer wrote before it went away is still readable: hand it
  // out first (a command client's replies reach their commands), the read
  // that meets the end of the stream then marks the connection lost.
  if (fd >= 0 && !PTZ_IS_SOCKET_CLIENT_SIGNAL_DATA_READY(self)) {
    guint8 buffer[kReadBufferSize + 1];
    for (int i = 0; i < 64 && velmora::client::io_fd(self) == fd; i++)
      if (PTZ_SOCKET_GET_CLASS(self)->read(PTZ_SOCKET(self), fd, buffer, kReadBufferSize, 0) < 0) break;
  }
  MutexLock lock(io_lock(self));
  velmora::client::connection_lost(self);
}

gboolean client_source_callback(gpointer data, GIOCondition) {
  auto *self = static_cast<PTZSocketClient *>(data);
  guint8 buffer[kReadBufferSize + 1];
  PTZ_SOCKET_GET_CLASS(self)->read(PTZ_SOCKET(self), ptz_file_g_source_get_fd(self->source), buffer, kReadBufferSize,
                                   0);
  return TRUE;
}

int client_read(PTZSocket *socket, int fd, void *buffer, gsize length, int) {
  auto *self = PTZ_SOCKET_CLIENT(socket);
  ssize_t n = velmora::client::read_now(fd, buffer, length);
  if (n <= 0) {
    // The end of the stream or a hard error: this connection is over.
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      MutexLock lock(io_lock(self));
      velmora::client::connection_lost(self);
    }
    return -1;
  }
  if (self->callback != nullptr) self->callback(self->callback_data, static_cast<const gchar *>(buffer), gsize(n));
  return int(n);
}

int data_ready_read(PTZSocket *socket, int, void *, gsize length, int) {
  auto *self = PTZ_SOCKET_CLIENT(socket);
  if (self->callback != nullptr) self->callback(self->callback_data, nullptr, length);
  return int(length);
}

void client_finalize(GObject *object) {
  auto *self = PTZ_SOCKET_CLIENT(object);
  velmora::socket::set_reconnect_notify(PTZ_SOCKET(self), nullptr, nullptr);
  if (self->source != nullptr) {
    velmora::socket::source_set_hangup_notify(self->source, nullptr, nullptr);
    g_source_destroy(self->source);
    g_source_unref(self->source);
    self->source = nullptr;
  }
  if (self->context != nullptr) g_main_context_unref(self->context);
  self->context = nullptr;
  G_OBJECT_CLASS(ptz_socket_client_parent_class)->finalize(object);
}

}  // namespace

static void ptz_socket_client_class_init(PTZSocketClientClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = client_finalize;
  PTZ_SOCKET_CLASS(klass)->read = client_read;
}

static void ptz_socket_client_init(PTZSocketClient *self) {
  priv(self)->io_fd = -1;
  new (&priv(self)->io_lock) velmora::Mutex();
}

static void ptz_socket_client_signal_data_ready_class_init(PTZSocketClientSignalDataReadyClass *klass) {
  PTZ_SOCKET_CLASS(klass)->read = data_ready_read;
}

static void ptz_socket_client_signal_data_ready_init(PTZSocketClientSignalDataReady *) {}

namespace velmora::client {

int io_fd(PTZSocketClient *client) { return g_atomic_int_get(&priv(client)->io_fd); }

Mutex &io_lock(PTZSocketClient *client) { return priv(client)->io_lock; }

void set_command_hooks(PTZSocketClient *client, GMutex *io_lock, GList *(*take_orphans)(PTZSocketClient *)) {
  new (&priv(client)->io_lock) Mutex(io_lock);
  priv(client)->take_orphans = take_orphans;
}

void connection_lost(PTZSocketClient *client) {
  PTZSocketClientPrivate *p = priv(client);
  if (g_atomic_int_get(&p->io_fd) < 0) return;
  g_atomic_int_set(&p->io_fd, -1);
  ptz_file_g_source_remove_poll(client->source);
  auto *work = g_new0(LostWork, 1);
  work->client = PTZ_SOCKET_CLIENT(g_object_ref(client));
  work->orphans = p->take_orphans != nullptr ? p->take_orphans(client) : nullptr;
  tsan_handed_over(work);
  // The endpoint's descriptor and timer belong to the main context's thread;
  // the orphans' dispatcher must run without the I/O lock held.
  // Always deferred, never run inline: the caller holds the I/O lock.
  GSource *idle = g_idle_source_new();
  g_source_set_priority(idle, G_PRIORITY_DEFAULT);
  g_source_set_callback(idle, finish_lost_connection, work, nullptr);
  g_source_attach(idle, client->context);
  g_source_unref(idle);
}

ssize_t read_now(int fd, void *buffer, gsize length) {
  ssize_t n = recv(fd, buffer, length, MSG_DONTWAIT);
  if (n < 0 && errno == ENOTSOCK) {
    // Not a socket: only a ready descriptor is read.
    pollfd ready = {fd, POLLIN, 0};
    if (poll(&ready, 1, 0) == 0) {
      errno = EAGAIN;
      return -1;
    }
    n = read(fd, buffer, length);
  }
  return n;
}

bool peer_gone(int error) { return error == EPIPE || error == ECONNRESET || error == ENOTCONN; }

void write_failed(PTZSocketClient *client, int error) {
  ptz_file_g_source_remove_poll(client->source);
  if (peer_gone(error)) connection_lost(client);
}

bool raw_send(PTZSocketClient *client, int fd, const void *buffer, gsize length) {
  int n = PTZ_SOCKET_GET_CLASS(client)->write(PTZ_SOCKET(client), fd, buffer, length, kRawSendTimeoutMs);
  if (n >= 0 && gsize(n) == length) return true;
  write_failed(client, errno);
  return false;
}

void report_expired(PTZSocketClient *client, PTZSocketPendingCommand *command) {
  if (client->callback != nullptr) client->callback(command->user_data, nullptr, 0);
  g_free(command);
}

}  // namespace velmora::client

extern "C" {

PTZSocketClient *ptz_socket_client_new(GType type, const gchar *socket, int fd, int socket_type) {
  PTZ_RETURN_VAL_IF_FAIL(g_type_is_a(type, PTZ_TYPE_SOCKET_CLIENT), nullptr);
  PTZSocket *endpoint = ptz_socket_new(type, PTZ_SOCKET_ROLE_CLIENT, socket, socket_type);
  if (socket == nullptr && fd >= 0) endpoint->fd = fd;
  auto *self = PTZ_SOCKET_CLIENT(endpoint);
  priv(self)->io_fd = endpoint->fd;
  self->context = g_main_context_ref(g_main_context_default());
  self->source = ptz_file_g_source_new(endpoint->fd);
  g_source_set_callback(self->source, G_SOURCE_FUNC(client_source_callback), self, nullptr);
  velmora::socket::source_set_hangup_notify(self->source, on_hangup, self);
  if (socket != nullptr) velmora::socket::set_reconnect_notify(endpoint, on_reconnected, self);
  g_source_attach(self->source, self->context);
  return self;
}

void ptz_socket_client_register_callback(PTZSocketClient *client, PTZSocketClientFunc callback, gpointer user_data) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_SOCKET_CLIENT(client));
  client->callback_data = user_data;
  client->callback = callback;
}

void ptz_socket_client_add_poll(PTZSocketClient *client) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_SOCKET_CLIENT(client));
  // A lost connection is watched again only once reconnection has a new one.
  if (velmora::client::io_fd(client) >= 0) ptz_file_g_source_add_poll(client->source);
}

void ptz_socket_client_remove_poll(PTZSocketClient *client) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_SOCKET_CLIENT(client));
  ptz_file_g_source_remove_poll(client->source);
}

gboolean ptz_socket_client_async_send(PTZSocketClient *client, const void *buffer, gsize length) {
  PTZ_RETURN_VAL_IF_FAIL(PTZ_IS_SOCKET_CLIENT(client), FALSE);
  PTZ_RETURN_VAL_IF_FAIL(buffer != NULL || length == 0, FALSE);
  MutexLock lock(io_lock(client));
  return velmora::client::raw_send(client, velmora::client::io_fd(client), buffer, length);
}

PTZSocketClient *ptz_socket_client_signal_data_ready_new(GType type, const gchar *socket, int fd, int socket_type) {
  return ptz_socket_client_new(type, socket, fd, socket_type);
}

}  // extern "C"
