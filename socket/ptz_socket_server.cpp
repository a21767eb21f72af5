// PTZSocketServer: serves a listening Unix-domain socket (or one connected
// descriptor) from a single event source on the default main context and
// hands every chunk that arrives to one callback with a reply handle.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/ptz_log.h"
#include "ptz_socket_server.h"
#include "socket/ptz_socket_server_private.h"

namespace {

constexpr GIOCondition kWatched = GIOCondition(G_IO_IN | G_IO_ERR | G_IO_HUP);
constexpr GIOCondition kInput = GIOCondition(G_IO_IN | G_IO_PRI);
// A connection in one of these states is finished; left registered it would
// wake the main loop at once, forever.
constexpr GIOCondition kEnded = GIOCondition(G_IO_HUP | G_IO_ERR | G_IO_NVAL);
constexpr int kSendTimeoutMs = 1000;
// Pause of accepting after the process ran out of descriptors.
constexpr gint64 kAcceptBackoffUs = 200 * 1000;

const char kDispatch[] = "ptz_socket_server_source_dispatch";

}  // namespace

struct _PTZSocketServerSource {
  GSource source;
  int listen_fd;
  gpointer listen_tag;
  GList *connections;  // of PTZSocketServerConnection, newest first
  PTZSocketServer *server;  // not referenced
  // Connection being read by the current dispatch pass.
  PTZSocketServerConnection *reading;
  guint64 last_serial;
  // Accepting is paused (listen_tag NULL) after running out of descriptors.
  bool accept_paused;
  bool out_of_descriptors_logged;
};

G_DEFINE_TYPE(PTZSocketServer, ptz_socket_server, PTZ_TYPE_SOCKET)

namespace {

PTZSocketServerSource *source_of(GSource *source) { return reinterpret_cast<PTZSocketServerSource *>(source); }

GIOCondition reported(PTZSocketServerSource *src, gpointer tag) {
  return tag != nullptr ? g_source_query_unix_fd(&src->source, tag) : GIOCondition(0);
}

bool serves_descriptor(PTZSocketServer *server) { return PTZ_SOCKET(server)->socket == nullptr; }

void free_connection(PTZSocketServerConnection *connection) {
  g_free(connection->message);
  g_free(connection);
}

void add_connection(PTZSocketServerSource *src, int fd) {
  auto *connection = g_new0(PTZSocketServerConnection, 1);
  connection->fd = fd;
  connection->serial = ++src->last_serial;
  connection->tag = g_source_add_unix_fd(&src->source, fd, kWatched);
  src->connections = g_list_prepend(src->connections, connection);
}

void unwatch_listening(PTZSocketServerSource *src) {
  if (src->listen_tag != nullptr) {
    g_source_remove_unix_fd(&src->source, src->listen_tag);
    src->listen_tag = nullptr;
  }
}

gboolean source_prepare(GSource *, gint *timeout) {
  *timeout = -1;
  return FALSE;
}

gboolean source_check(GSource *source) {
  PTZSocketServerSource *src = source_of(source);
  // A served descriptor that hangs up before it ever was readable becomes
  // the connection all the same, so that it gets closed.
  GIOCondition listening = serves_descriptor(src->server) ? GIOCondition(kInput | kEnded) : kInput;
  if (reported(src, src->listen_tag) & listening) return TRUE;
  for (GList *l = src->connections; l != nullptr; l = l->next) {
    auto *connection = static_cast<PTZSocketServerConnection *>(l->data);
    if (reported(src, connection->tag) & (kInput | kEnded)) return TRUE;
  }
  return FALSE;
}

// Accepts one connection on the listening socket; FALSE when serving must end.
gboolean accept_connection(PTZSocketServerSource *src) {
  int fd = accept(src->listen_fd, nullptr, nullptr);
  if (fd < 0) {
    int error = errno;
    switch (error) {
      case EAGAIN:
#if EWOULDBLOCK != EAGAIN
      case EWOULDBLOCK:
#endif
      case EINTR:
        return TRUE;  // nothing to accept after all; poll again
      case ECONNABORTED:
      case EPROTO:
        // That one client gave up; the listening socket is fine.
        PTZ_LOG_ERR("%s: accept failed, errno=%d, %s", kDispatch, error, g_strerror(error));
        return TRUE;
      case EMFILE:
      case ENFILE:
      case ENOBUFS:
      case ENOMEM:
        // The pending client stays queued; try again shortly instead of
        // spinning on a listening socket that stays readable.
        if (!src->out_of_descriptors_logged)
          PTZ_LOG_ERR("%s: accept failed, errno=%d, %s", kDispatch, error, g_strerror(error));
        src->out_of_descriptors_logged = true;
        unwatch_listening(src);
        src->accept_paused = true;
        g_source_set_ready_time(&src->source, g_source_get_time(&src->source) + kAcceptBackoffUs);
        return TRUE;
      default:
        PTZ_LOG_ERR("%s: accept failed, errno=%d, %s", kDispatch, error, g_strerror(error));
        unwatch_listening(src);
        return FALSE;
    }
  }
  src->out_of_descriptors_logged = false;
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
    PTZ_LOG_ERR("%s: Failed to fcntl client_socket", kDispatch);
  add_connection(src, fd);
  return TRUE;
}

gboolean source_dispatch(GSource *source, GSourceFunc callback, gpointer user_data) {
  PTZSocketServerSource *src = source_of(source);
  PTZSocketServer *server = src->server;
  PTZSocketServerClass *klass = PTZ_SOCKET_SERVER_GET_CLASS(server);
  PTZSocket *endpoint = PTZ_SOCKET(server);

  if (src->accept_paused && g_source_get_time(source) >= g_source_get_ready_time(source)) {
    src->accept_paused = false;
    g_source_set_ready_time(source, -1);
    src->listen_tag = g_source_add_unix_fd(source, src->listen_fd, kWatched);
  }

  // New clients first: a pass that serves a command returns early, so while
  // connected clients keep the server busy a newcomer would wait otherwise.
  GIOCondition listening = reported(src, src->listen_tag);
  if (!serves_descriptor(server) && (listening & kInput) && !accept_connection(src)) return FALSE;

  guint8 buffer[PTZ_SOCKET_MESSAGE_MAX + 1];
  for (GList *l = src->connections, *next; l != nullptr; l = next) {
    next = l->next;
    auto *connection = static_cast<PTZSocketServerConnection *>(l->data);
    GIOCondition condition = reported(src, connection->tag);
    if (condition & kInput) {
      src->reading = connection;
      int n = klass->parent_class.read(endpoint, connection->fd, buffer, PTZ_SOCKET_MESSAGE_MAX, 0);
      src->reading = nullptr;
      if (n < 0) {
        ptz_socket_server_close(server, connection);
        continue;
      }
      if (n > 0) {
        buffer[n] = '\0';
        if (callback == nullptr) continue;
        PTZSocketServerHandle *handle = klass->get_handle(server, connection);
        if (handle == nullptr) continue;
        // The connection served now goes last, so a busy one cannot starve
        // the others.
        src->connections = g_list_concat(g_list_remove_link(src->connections, l), l);
        // Nothing of the server is touched after the callback: it may have
        // dropped the last reference.
        return reinterpret_cast<PTZSocketServerFunc>(reinterpret_cast<void (*)()>(callback))(
            user_data, handle, reinterpret_cast<const gchar *>(buffer), gsize(n));
      }
    }
    if (condition & kEnded) ptz_socket_server_close(server, connection);
  }

  // The served descriptor becomes the only connection the first time it
  // reports anything; from then on it is watched as that connection.
  if (serves_descriptor(server) && (listening & (kInput | kEnded)) && src->connections == nullptr) {
    unwatch_listening(src);
    add_connection(src, src->listen_fd);
  }
  return TRUE;
}

void source_finalize(GSource *source) {
  // The server closes its connections before it lets go of the source; any
  // left here only need their descriptors closed.
  PTZSocketServerSource *src = source_of(source);
  for (GList *l = src->connections; l != nullptr; l = l->next) {
    auto *connection = static_cast<PTZSocketServerConnection *>(l->data);
    if (connection->fd >= 0) close(connection->fd);
    free_connection(connection);
  }
  g_clear_pointer(&src->connections, g_list_free);
}

GSourceFuncs source_funcs = {source_prepare, source_check, source_dispatch, source_finalize, nullptr, nullptr};

gboolean plain_send(PTZSocketServerHandle *handle, const void *buffer, gsize length) {
  PTZSocketServer *server = handle->server;
  PTZSocketServerConnection *connection = handle->connection;
  if (connection == nullptr) return FALSE;  // closed since the chunk was delivered
  PTZSocket *endpoint = PTZ_SOCKET(server);
  int n = PTZ_SOCKET_GET_CLASS(endpoint)->write(endpoint, connection->fd, buffer, length, kSendTimeoutMs);
  if (n >= 0) return gsize(n) == length;
  if (errno != EAGAIN && errno != EINTR) ptz_socket_server_close(server, connection);
  return FALSE;
}

PTZSocketServerHandle *plain_get_handle(PTZSocketServer *server, PTZSocketServerConnection *connection) {
  server->handle.connection = connection;
  server->handle.server = server;
  return &server->handle;
}

// One read; 0 when nothing is there yet, -1 when the connection has ended.
int plain_read(PTZSocket *, int fd, void *buffer, gsize length, int) {
  ssize_t n = read(fd, buffer, length);
  if (n > 0) return int(n);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
  return -1;
}

void ptz_socket_server_finalize(GObject *object) {
  PTZSocketServer *server = PTZ_SOCKET_SERVER(object);
  server->close_callback = nullptr;
  server->close_data = nullptr;
  if (PTZSocketServerSource *src = server->source) {
    unwatch_listening(src);
    while (src->connections != nullptr)
      ptz_socket_server_close(server, static_cast<PTZSocketServerConnection *>(src->connections->data));
    g_source_destroy(&src->source);
    g_source_unref(&src->source);
    server->source = nullptr;
  }
  g_clear_pointer(&server->context, g_main_context_unref);
  G_OBJECT_CLASS(ptz_socket_server_parent_class)->finalize(object);
}

PTZSocketServer *start_serving(PTZSocket *endpoint) {
  PTZSocketServer *server = PTZ_SOCKET_SERVER(endpoint);
  server->context = g_main_context_ref(g_main_context_default());
  auto *src = source_of(g_source_new(&source_funcs, sizeof(PTZSocketServerSource)));
  src->listen_fd = endpoint->fd;
  src->server = server;
  if (endpoint->fd >= 0) src->listen_tag = g_source_add_unix_fd(&src->source, endpoint->fd, kWatched);
  g_source_set_name(&src->source, "PTZSocketServer");
  g_source_attach(&src->source, server->context);
  server->source = src;
  return server;
}

}  // namespace

static void ptz_socket_server_class_init(PTZSocketServerClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = ptz_socket_server_finalize;
  klass->parent_class.read = plain_read;
  klass->send = plain_send;
  klass->get_handle = plain_get_handle;
}

static void ptz_socket_server_init(PTZSocketServer *) {}

PTZSocketServerConnection *velmora::server::find_connection(PTZSocketServer *server, int fd, guint64 serial) {
  PTZSocketServerSource *src = server->source;
  if (src == nullptr) return nullptr;
  if (src->reading != nullptr && src->reading->fd == fd && (serial == 0 || src->reading->serial == serial))
    return src->reading;
  for (GList *l = src->connections; l != nullptr; l = l->next) {
    auto *connection = static_cast<PTZSocketServerConnection *>(l->data);
    if (connection->fd == fd && (serial == 0 || connection->serial == serial)) return connection;
  }
  return nullptr;
}

extern "C" {

PTZSocketServer *ptz_socket_server_new(GType type, const gchar *socket, int socket_type) {
  g_return_val_if_fail(g_type_is_a(type, PTZ_TYPE_SOCKET_SERVER), nullptr);
  return start_serving(ptz_socket_new(type, PTZ_SOCKET_ROLE_SERVER, socket, socket_type));
}

PTZSocketServer *ptz_socket_server_fd_new(GType type, int fd, int socket_type) {
  g_return_val_if_fail(g_type_is_a(type, PTZ_TYPE_SOCKET_SERVER), nullptr);
  return start_serving(ptz_socket_fd_new(type, PTZ_SOCKET_ROLE_SERVER, fd, socket_type));
}

void ptz_socket_server_register_callback(PTZSocketServer *server, PTZSocketServerFunc callback,
                                         gpointer user_data) {
  g_source_set_callback(&server->source->source, G_SOURCE_FUNC(callback), user_data, nullptr);
}

void ptz_socket_server_register_callback_full(PTZSocketServer *server, PTZSocketServerFunc callback,
                                              PTZSocketServerCloseFunc close_callback, gpointer user_data) {
  if (callback != nullptr) ptz_socket_server_register_callback(server, callback, user_data);
  server->close_callback = close_callback;
  server->close_data = user_data;
}

gboolean ptz_socket_server_send(PTZSocketServerHandle *handle, const void *buffer, gsize length) {
  if (handle == nullptr || handle->server == nullptr) return FALSE;
  return PTZ_SOCKET_SERVER_GET_CLASS(handle->server)->send(handle, buffer, length);
}

void ptz_socket_server_close(PTZSocketServer *server, PTZSocketServerConnection *connection) {
  if (server == nullptr || connection == nullptr || server->source == nullptr) return;
  PTZSocketServerSource *src = server->source;
  GList *link = g_list_find(src->connections, connection);
  if (link == nullptr) return;  // not one of this server's open connections
  if (connection->tag != nullptr) g_source_remove_unix_fd(&src->source, connection->tag);
  const int fd = connection->fd;
  if (fd >= 0 && close(fd) != 0) PTZ_LOG_ERR("%s: Failed to close client fd %d %m", "ptz_socket_server_close", fd);
  src->connections = g_list_delete_link(src->connections, link);
  if (server->handle.connection == connection) server->handle.connection = nullptr;
  if (src->reading == connection) src->reading = nullptr;
  free_connection(connection);
  PTZSocket *endpoint = PTZ_SOCKET(server);
  if (serves_descriptor(server) && fd == endpoint->fd) {
    endpoint->fd = -1;
    if (server->close_callback != nullptr) server->close_callback(server->close_data);
  }
}

void ptz_socket_server_unref(PTZSocketServerHandle *handle) {
  if (handle != nullptr && handle->server != nullptr) g_object_unref(handle->server);
}

}  // extern "C"
