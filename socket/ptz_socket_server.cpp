// PTZSocketServer: serves a listening Unix-domain socket (or one connected
// descriptor) from a single event source on the default main context and
// hands every chunk that arrives to one callback with a reply handle.
//
// The source watches its connections through an epoll descriptor, the only
// descriptor it registers with the main context, so a pass costs in
// proportion to the connections that have something to say, not to all of
// them. Connections found readable wait in a queue; a pass reads them in
// order until one delivers something to the callback, and a connection served
// goes to the back of the queue, so none can starve the others. The source
// may recurse, so GLib does not take its descriptor out of the poll set on
// every dispatch; a main loop run from inside the callback gets no further
// data instead because the source makes itself unready for it.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "common/ptz_guard.h"
#include "common/ptz_log.h"
#include "common/ptz_unique_fd.h"
#include "ptz_socket_server.h"
#include "socket/ptz_socket_server_private.h"

namespace {

constexpr int kSendTimeoutMs = 1000;
// Pause of accepting after the process ran out of descriptors with no
// reserve left to see who is waiting.
constexpr gint64 kAcceptBackoffUs = 200 * 1000;
// Connections accepted, and readiness reports taken, per pass: a flood of
// newcomers or of data cannot hold a pass for long.
constexpr int kAcceptBatch = 64;
constexpr int kEventBatch = 64;
// Repeated warnings about the same kind of abuse: at most one line this often.
constexpr gint64 kLogPaceUs = 10 * G_USEC_PER_SEC;

// The names the server logs under.
constexpr char kDispatch[] = "ptz_socket_server_source_dispatch";
constexpr char kStartServing[] = "start_serving";
constexpr char kServerClose[] = "ptz_socket_server_close";

// Paces one kind of log line; all zero to begin with.
struct Pacer {
  gint64 last_us;
  guint held_back;

  // Whether a line may go out now; *others tells how many were held back
  // since the last one.
  bool allow(gint64 now_us, guint *others) {
    if (last_us != 0 && now_us - last_us < kLogPaceUs) {
      held_back++;
      return false;
    }
    *others = held_back;
    held_back = 0;
    last_us = now_us;
    return true;
  }
};

// Open connections of one account.
struct Account {
  guint connections;
  bool cap_logged;  // the current episode at the cap has been logged
};

}  // namespace

struct _PTZSocketServerSource {
  GSource source;
  PTZSocketServer *server;  // not referenced
  int listen_fd;            // listening descriptor; -1 for a served one
  int epoll_fd;
  // Registration of epoll_fd with the main context; NULL while a main loop
  // runs inside the callback.
  gpointer epoll_tag;
  bool listening;  // listen_fd is in the epoll set
  bool in_callback;
  GHashTable *by_fd;                   // descriptor -> PTZSocketServerConnection
  GQueue ready;                        // connections to read, in order
  GQueue partial;                      // connections holding part of a message, oldest first
  PTZSocketServerConnection *reading;  // connection being read by this pass
  guint64 last_serial;
  guint8 *spare_buffer;  // a read-ahead buffer no connection uses

  // At the descriptor limit: the reserve descriptor is given up to accept
  // one more connection and see who it is; one that may stay is parked
  // (accepted, not yet read) until a descriptor is free again.
  int reserve_fd;
  int parked_fd;
  uid_t parked_uid;
  bool parked_counted;
  gint64 accept_resume_us;  // accepting paused until then; 0 when not paused
  bool out_of_descriptors_logged;

  guint partial_timeout_ms;
  guint max_per_user;
  GHashTable *accounts;  // uid -> Account
  uid_t own_uid;
  bool policy;           // only root, own_uid and the allowed may connect
  GArray *allowed_uids;  // of guint32
  GArray *allowed_gids;  // of guint32
  Pacer refusal_log, timeout_log;
};

G_DEFINE_TYPE(PTZSocketServer, ptz_socket_server, PTZ_TYPE_SOCKET)

namespace {

PTZSocketServerSource *source_of(GSource *source) { return reinterpret_cast<PTZSocketServerSource *>(source); }

bool serves_descriptor(PTZSocketServer *server) { return PTZ_SOCKET(server)->socket == nullptr; }

int open_reserve() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

// ---- queues -----------------------------------------------------------------

void queue_ready(PTZSocketServerSource *src, PTZSocketServerConnection *connection, guint32 events) {
  connection->events = events;
  if (connection->queued) return;
  connection->queued = true;
  g_queue_push_tail_link(&src->ready, &connection->ready_link);
}

PTZSocketServerConnection *next_ready(PTZSocketServerSource *src) {
  GList *link = g_queue_pop_head_link(&src->ready);
  if (link == nullptr) return nullptr;
  auto *connection = static_cast<PTZSocketServerConnection *>(link->data);
  connection->queued = false;
  return connection;
}

// When the source next has timed work: a partial message to give up, or
// accepting to resume. 0 when nothing is timed.
gint64 next_due(PTZSocketServerSource *src) {
  gint64 due = src->accept_resume_us;
  if (src->partial_timeout_ms > 0 && src->partial.head != nullptr) {
    auto *oldest = static_cast<PTZSocketServerConnection *>(src->partial.head->data);
    gint64 expiry = oldest->partial_since_us + gint64(src->partial_timeout_ms) * 1000;
    due = due == 0 ? expiry : MIN(due, expiry);
  }
  return due;
}

// ---- accounts ---------------------------------------------------------------

Account *account_of(PTZSocketServerSource *src, uid_t uid, bool create) {
  auto *account = static_cast<Account *>(g_hash_table_lookup(src->accounts, GUINT_TO_POINTER(uid)));
  if (account == nullptr && create) {
    account = g_new0(Account, 1);
    g_hash_table_insert(src->accounts, GUINT_TO_POINTER(uid), account);
  }
  return account;
}

void release_account(PTZSocketServerSource *src, uid_t uid) {
  Account *account = account_of(src, uid, false);
  if (account == nullptr) return;
  account->connections--;
  if (src->max_per_user == 0 || account->connections < src->max_per_user) account->cap_logged = false;
  if (account->connections == 0) g_hash_table_remove(src->accounts, GUINT_TO_POINTER(uid));
}

bool listed(const GArray *ids, guint32 id) {
  for (guint i = 0; i < ids->len; i++)
    if (g_array_index(ids, guint32, i) == id) return true;
  return false;
}

// Whether the peer policy lets this peer in.
bool policy_allows(PTZSocketServerSource *src, int fd, const ucred &peer) {
  if (peer.uid == 0 || peer.uid == src->own_uid || listed(src->allowed_uids, peer.uid)) return true;
  if (src->allowed_gids->len == 0) return false;
  if (listed(src->allowed_gids, peer.gid)) return true;
  // The peer's supplementary groups, as they were when it connected.
  std::vector<gid_t> groups(64);
  socklen_t size = socklen_t(groups.size() * sizeof(gid_t));
  if (getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) != 0) {
    if (errno != ERANGE) return false;
    groups.resize(size / sizeof(gid_t) + 1);
    size = socklen_t(groups.size() * sizeof(gid_t));
    if (getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) != 0) return false;
  }
  groups.resize(size / sizeof(gid_t));
  return std::any_of(groups.begin(), groups.end(), [&](gid_t gid) { return listed(src->allowed_gids, gid); });
}

// Whether a newly accepted connection may stay; counts it against its
// account when it does (*counted) and logs refusals.
bool admit(PTZSocketServerSource *src, int fd, uid_t *uid, bool *counted) {
  ucred peer = {};
  socklen_t size = sizeof peer;
  *counted = false;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
    // Nothing to count it against; only a policy has to refuse the unknown.
    *uid = uid_t(-1);
    return !src->policy;
  }
  *uid = peer.uid;
  const gint64 now = g_source_get_time(&src->source);
  if (src->policy && !policy_allows(src, fd, peer)) {
    guint others = 0;
    if (src->refusal_log.allow(now, &others))
      PTZ_LOG_WARNING(
          "%s: Refused connection from uid %u gid %u pid %d: not allowed by the peer policy "
          "(%u more refused since the last report)",
          kDispatch, guint(peer.uid), guint(peer.gid), int(peer.pid), others);
    return false;
  }
  if (peer.uid == 0 || peer.uid == src->own_uid) return true;
  Account *account = account_of(src, peer.uid, true);
  if (src->max_per_user > 0 && account->connections >= src->max_per_user) {
    if (!account->cap_logged)
      PTZ_LOG_WARNING("%s: uid %u reached its connection limit (%u); closing its further connections", kDispatch,
                      guint(peer.uid), src->max_per_user);
    account->cap_logged = true;
    return false;
  }
  account->connections++;
  *counted = true;
  return true;
}

// ---- connections --------------------------------------------------------------

void free_connection(PTZSocketServerSource *src, PTZSocketServerConnection *connection) {
  if (connection->in_is_read_ahead)
    velmora::server::give_buffer(src->server, connection->in);
  else
    g_free(connection->in);
  g_free(connection);
}

// Watches `fd` as a new connection of an account it was counted against (or
// not); false (logged, the count undone) when it cannot, and the descriptor
// then stays the caller's.
bool add_connection(PTZSocketServerSource *src, int fd, uid_t uid, bool counted) {
  auto *connection = g_new0(PTZSocketServerConnection, 1);
  connection->fd = fd;
  connection->uid = uid;
  connection->counted = counted;
  connection->serial = ++src->last_serial;
  connection->ready_link.data = connection;
  connection->partial_link.data = connection;
  epoll_event event = {};
  event.events = EPOLLIN;
  event.data.ptr = connection;
  if (epoll_ctl(src->epoll_fd, EPOLL_CTL_ADD, fd, &event) != 0) {
    PTZ_LOG_ERR("%s: Failed to watch client fd %d: %s", kDispatch, fd, g_strerror(errno));
    if (counted) release_account(src, uid);
    g_free(connection);
    return false;
  }
  g_hash_table_insert(src->by_fd, GINT_TO_POINTER(fd), connection);
  return true;
}

void watch_listening(PTZSocketServerSource *src, bool watch) {
  if (src->listen_fd < 0 || src->listening == watch) return;
  epoll_event event = {};
  event.events = EPOLLIN;
  event.data.ptr = &src->listen_fd;
  if (epoll_ctl(src->epoll_fd, watch ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, src->listen_fd, &event) == 0)
    src->listening = watch;
}

// Accepting may go on: a descriptor has been freed, or the pause is over.
void resume_accepting(PTZSocketServerSource *src) {
  if (src->reserve_fd < 0) src->reserve_fd = open_reserve();
  if (src->parked_fd >= 0) {
    if (src->reserve_fd < 0) return;  // still no room for the one waiting
    velmora::UniqueFd fd(std::exchange(src->parked_fd, -1));
    if (add_connection(src, fd.get(), src->parked_uid, src->parked_counted)) fd.release();
  }
  src->accept_resume_us = 0;
  watch_listening(src, true);
}

// Out of descriptors. With the reserve, one more connection is accepted to
// see whose it is: a refused one is shed (true: accepting goes on), one that
// may stay is parked until a descriptor frees up. Without, accepting pauses.
bool accept_at_limit(PTZSocketServerSource *src, int error) {
  if (src->reserve_fd >= 0 && (error == EMFILE || error == ENFILE)) {
    close(src->reserve_fd);
    src->reserve_fd = -1;
    velmora::UniqueFd fd(accept4(src->listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (fd.valid()) {
      uid_t uid;
      bool counted;
      if (!admit(src, fd.get(), &uid, &counted)) {
        fd.reset();  // its descriptor becomes the reserve again
        src->reserve_fd = open_reserve();
        return src->reserve_fd >= 0;
      }
      src->parked_fd = fd.release();
      src->parked_uid = uid;
      src->parked_counted = counted;
      watch_listening(src, false);
      return false;
    }
    const int error_with_room = errno;
    src->reserve_fd = open_reserve();
    // Accepting checks for a free descriptor before it looks for a waiting
    // client: nobody was waiting after all.
    if (error_with_room == EAGAIN || error_with_room == EWOULDBLOCK || error_with_room == EINTR) return false;
  }
  if (!src->out_of_descriptors_logged)
    PTZ_LOG_ERR("%s: accept failed, errno=%d, %s", kDispatch, error, g_strerror(error));
  src->out_of_descriptors_logged = true;
  watch_listening(src, false);
  src->accept_resume_us = g_source_get_time(&src->source) + kAcceptBackoffUs;
  return false;
}

// Accepts the connections waiting on the listening socket, a batch at most;
// FALSE when serving must end.
gboolean accept_pending(PTZSocketServerSource *src) {
  for (int i = 0; i < kAcceptBatch && src->listening; i++) {
    velmora::UniqueFd fd(accept4(src->listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd.valid()) {
      int error = errno;
      switch (error) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINTR:
          return TRUE;
        case ECONNABORTED:
        case EPROTO:
          // That one client gave up; the listening socket is fine.
          PTZ_LOG_ERR("%s: accept failed, errno=%d, %s", kDispatch, error, g_strerror(error));
          continue;
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
          if (accept_at_limit(src, error)) continue;
          return TRUE;
        default:
          PTZ_LOG_ERR("%s: accept failed, errno=%d, %s", kDispatch, error, g_strerror(error));
          watch_listening(src, false);
          return FALSE;
      }
    }
    src->out_of_descriptors_logged = false;
    uid_t uid;
    bool counted;
    if (admit(src, fd.get(), &uid, &counted) && add_connection(src, fd.get(), uid, counted)) fd.release();
  }
  return TRUE;
}

// Takes the readiness reports of the epoll set into the queue; whether the
// listening socket has connections waiting.
bool collect_events(PTZSocketServerSource *src) {
  epoll_event events[kEventBatch];
  int n = epoll_wait(src->epoll_fd, events, kEventBatch, 0);
  bool listening = false;
  for (int i = 0; i < n; i++) {
    if (events[i].data.ptr == &src->listen_fd)
      listening = true;
    else
      queue_ready(src, static_cast<PTZSocketServerConnection *>(events[i].data.ptr), events[i].events);
  }
  return listening;
}

void expire_partial(PTZSocketServerSource *src, gint64 now) {
  if (src->partial_timeout_ms == 0) return;
  while (src->partial.head != nullptr) {
    auto *connection = static_cast<PTZSocketServerConnection *>(src->partial.head->data);
    if (connection->partial_since_us + gint64(src->partial_timeout_ms) * 1000 > now) break;
    guint others = 0;
    if (src->timeout_log.allow(now, &others))
      PTZ_LOG_WARNING(
          "%s: Closing client fd %d (uid %d): its message stayed incomplete for %u ms "
          "(%u more closed since the last report)",
          kDispatch, connection->fd, int(connection->uid), src->partial_timeout_ms, others);
    ptz_socket_server_close(src->server, connection);
  }
}

// ---- the source ---------------------------------------------------------------

gboolean source_prepare(GSource *source, gint *timeout) {
  PTZSocketServerSource *src = source_of(source);
  *timeout = -1;
  if (src->in_callback) {
    // A main loop runs inside the callback: it gets nothing from this
    // server, and the descriptor must not keep waking it in vain.
    if (src->epoll_tag != nullptr) {
      g_source_remove_unix_fd(source, src->epoll_tag);
      src->epoll_tag = nullptr;
    }
    return FALSE;
  }
  if (src->ready.length > 0) {
    *timeout = 0;
    return TRUE;
  }
  gint64 due = next_due(src);
  if (due == 0) return FALSE;
  gint64 wait_us = due - g_source_get_time(source);
  if (wait_us <= 0) {
    *timeout = 0;
    return TRUE;
  }
  *timeout = int(MIN((wait_us + 999) / 1000, gint64(G_MAXINT)));
  return FALSE;
}

gboolean source_check(GSource *source) {
  PTZSocketServerSource *src = source_of(source);
  if (src->in_callback) return FALSE;
  if (src->ready.length > 0) return TRUE;
  if (src->epoll_tag != nullptr && g_source_query_unix_fd(source, src->epoll_tag) != 0) return TRUE;
  gint64 due = next_due(src);
  return due != 0 && due <= g_source_get_time(source);
}

gboolean deliver(PTZSocketServerSource *src, GSourceFunc callback, gpointer user_data, PTZSocketServerHandle *handle,
                 const guint8 *data, gsize length) {
  src->in_callback = true;
  gboolean result = reinterpret_cast<PTZSocketServerFunc>(reinterpret_cast<void (*)()>(callback))(
      user_data, handle, reinterpret_cast<const gchar *>(data), length);
  // The callback may have dropped the last reference of the server: only
  // the source, which GLib holds during the dispatch, is touched now.
  src->in_callback = false;
  if (src->epoll_tag == nullptr && !g_source_is_destroyed(&src->source))
    src->epoll_tag = g_source_add_unix_fd(&src->source, src->epoll_fd, G_IO_IN);
  return result;
}

gboolean source_dispatch(GSource *source, GSourceFunc callback, gpointer user_data) {
  PTZSocketServerSource *src = source_of(source);
  if (src->in_callback) return TRUE;
  PTZSocketServer *server = src->server;
  PTZSocketServerClass *klass = PTZ_SOCKET_SERVER_GET_CLASS(server);
  PTZSocket *endpoint = PTZ_SOCKET(server);
  const gint64 now = g_source_get_time(source);

  if (src->accept_resume_us != 0 && now >= src->accept_resume_us) resume_accepting(src);
  bool newcomers = false;
  if (src->epoll_tag != nullptr && g_source_query_unix_fd(source, src->epoll_tag) != 0) newcomers = collect_events(src);
  // New clients first: a pass that serves a command returns early, so while
  // connected clients keep the server busy a newcomer would wait otherwise.
  if (newcomers && !accept_pending(src)) return FALSE;
  expire_partial(src, now);

  guint8 buffer[PTZ_SOCKET_MESSAGE_MAX + 1];
  while (PTZSocketServerConnection *connection = next_ready(src)) {
    src->reading = connection;
    int n = klass->parent_class.read(endpoint, connection->fd, buffer, PTZ_SOCKET_MESSAGE_MAX, 0);
    src->reading = nullptr;
    if (n < 0) {
      ptz_socket_server_close(server, connection);
      continue;
    }
    // A further message already read waits its turn behind the others.
    if (connection->message_waiting) queue_ready(src, connection, 0);
    if (n > 0) {
      buffer[n] = '\0';
      if (callback == nullptr) continue;
      PTZSocketServerHandle *handle = klass->get_handle(server, connection);
      if (handle == nullptr) continue;
      return deliver(src, callback, user_data, handle, buffer, gsize(n));
    }
    if ((connection->events & (EPOLLHUP | EPOLLERR)) && !connection->message_waiting)
      ptz_socket_server_close(server, connection);
  }
  return TRUE;
}

void source_finalize(GSource *source) {
  // The server closes its connections before it lets go of the source.
  PTZSocketServerSource *src = source_of(source);
  if (src->epoll_fd >= 0) close(src->epoll_fd);
  if (src->reserve_fd >= 0) close(src->reserve_fd);
  if (src->parked_fd >= 0) close(src->parked_fd);
  g_clear_pointer(&src->by_fd, g_hash_table_destroy);
  g_clear_pointer(&src->accounts, g_hash_table_destroy);
  g_free(src->spare_buffer);
  g_array_unref(src->allowed_uids);
  g_array_unref(src->allowed_gids);
}

GSourceFuncs source_funcs = {source_prepare, source_check, source_dispatch, source_finalize, nullptr, nullptr};

// ---- the plain server -----------------------------------------------------------

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

void server_finalize(GObject *object) {
  PTZSocketServer *server = PTZ_SOCKET_SERVER(object);
  server->close_callback = nullptr;
  server->close_data = nullptr;
  if (PTZSocketServerSource *src = server->source) {
    watch_listening(src, false);
    GList *open = g_hash_table_get_values(src->by_fd);
    for (GList *l = open; l != nullptr; l = l->next)
      ptz_socket_server_close(server, static_cast<PTZSocketServerConnection *>(l->data));
    g_list_free(open);
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
  src->server = server;
  src->listen_fd = -1;
  src->reserve_fd = -1;
  src->parked_fd = -1;
  src->by_fd = g_hash_table_new(g_direct_hash, g_direct_equal);
  src->accounts = g_hash_table_new_full(g_direct_hash, g_direct_equal, nullptr, g_free);
  src->partial_timeout_ms = PTZ_SOCKET_SERVER_DEFAULT_PARTIAL_TIMEOUT_MS;
  src->max_per_user = PTZ_SOCKET_SERVER_DEFAULT_MAX_CONNECTIONS_PER_USER;
  src->own_uid = geteuid();
  src->allowed_uids = g_array_new(FALSE, FALSE, sizeof(guint32));
  src->allowed_gids = g_array_new(FALSE, FALSE, sizeof(guint32));
  src->epoll_fd = epoll_create1(EPOLL_CLOEXEC);
  if (src->epoll_fd < 0) PTZ_LOG_ERR("%s: epoll_create1 failed: %s", kStartServing, g_strerror(errno));
  g_source_set_name(&src->source, "PTZSocketServer");
  // Recursion is handled by the source itself (see source_prepare).
  g_source_set_can_recurse(&src->source, TRUE);
  g_source_attach(&src->source, server->context);
  server->source = src;
  if (src->epoll_fd >= 0 && endpoint->fd >= 0) {
    src->epoll_tag = g_source_add_unix_fd(&src->source, src->epoll_fd, G_IO_IN);
    if (serves_descriptor(server)) {
      // The served descriptor is the only connection, from the start.
      add_connection(src, endpoint->fd, uid_t(-1), false);
    } else {
      src->listen_fd = endpoint->fd;
      src->reserve_fd = open_reserve();
      watch_listening(src, true);
    }
  }
  return server;
}

}  // namespace

static void ptz_socket_server_class_init(PTZSocketServerClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = server_finalize;
  klass->parent_class.read = plain_read;
  klass->send = plain_send;
  klass->get_handle = plain_get_handle;
}

static void ptz_socket_server_init(PTZSocketServer *) {}

namespace velmora::server {

PTZSocketServerConnection *find_connection(PTZSocketServer *server, int fd, guint64 serial) {
  PTZSocketServerSource *src = server->source;
  if (src == nullptr) return nullptr;
  PTZSocketServerConnection *connection = src->reading;
  if (connection == nullptr || connection->fd != fd)
    connection = static_cast<PTZSocketServerConnection *>(g_hash_table_lookup(src->by_fd, GINT_TO_POINTER(fd)));
  if (connection == nullptr || (serial != 0 && connection->serial != serial)) return nullptr;
  return connection;
}

void set_partial(PTZSocketServer *server, PTZSocketServerConnection *connection, bool partial) {
  PTZSocketServerSource *src = server->source;
  if (src == nullptr || connection->partial == partial) return;
  connection->partial = partial;
  if (partial) {
    connection->partial_since_us = g_source_get_time(&src->source);
    g_queue_push_tail_link(&src->partial, &connection->partial_link);
  } else {
    g_queue_unlink(&src->partial, &connection->partial_link);
  }
}

guint8 *take_buffer(PTZSocketServer *server) {
  PTZSocketServerSource *src = server->source;
  if (src != nullptr && src->spare_buffer != nullptr) return std::exchange(src->spare_buffer, nullptr);
  return static_cast<guint8 *>(g_malloc(kReadAhead));
}

void give_buffer(PTZSocketServer *server, guint8 *buffer) {
  PTZSocketServerSource *src = server->source;
  if (src != nullptr && src->spare_buffer == nullptr)
    src->spare_buffer = buffer;
  else
    g_free(buffer);
}

}  // namespace velmora::server

extern "C" {

PTZSocketServer *ptz_socket_server_new(GType type, const gchar *socket, int socket_type) {
  PTZ_RETURN_VAL_IF_FAIL(g_type_is_a(type, PTZ_TYPE_SOCKET_SERVER), nullptr);
  return start_serving(ptz_socket_new(type, PTZ_SOCKET_ROLE_SERVER, socket, socket_type));
}

PTZSocketServer *ptz_socket_server_fd_new(GType type, int fd, int socket_type) {
  PTZ_RETURN_VAL_IF_FAIL(g_type_is_a(type, PTZ_TYPE_SOCKET_SERVER), nullptr);
  return start_serving(ptz_socket_fd_new(type, PTZ_SOCKET_ROLE_SERVER, fd, socket_type));
}

void ptz_socket_server_register_callback(PTZSocketServer *server, PTZSocketServerFunc callback, gpointer user_data) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_SOCKET_SERVER(server));
  g_source_set_callback(&server->source->source, G_SOURCE_FUNC(callback), user_data, nullptr);
}

void ptz_socket_server_register_callback_full(PTZSocketServer *server, PTZSocketServerFunc callback,
                                              PTZSocketServerCloseFunc close_callback, gpointer user_data) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_SOCKET_SERVER(server));
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
  const int fd = connection->fd;
  // Only one of this server's open connections.
  if (g_hash_table_lookup(src->by_fd, GINT_TO_POINTER(fd)) != connection) return;
  g_hash_table_remove(src->by_fd, GINT_TO_POINTER(fd));
  // Explicitly: a copy of a served descriptor would keep it in the set.
  epoll_ctl(src->epoll_fd, EPOLL_CTL_DEL, fd, nullptr);
  if (fd >= 0 && close(fd) != 0) PTZ_LOG_ERR("%s: Failed to close client fd %d %m", kServerClose, fd);
  if (connection->queued) g_queue_unlink(&src->ready, &connection->ready_link);
  if (connection->partial) g_queue_unlink(&src->partial, &connection->partial_link);
  if (connection->counted) release_account(src, connection->uid);
  if (server->handle.connection == connection) server->handle.connection = nullptr;
  if (src->reading == connection) src->reading = nullptr;
  free_connection(src, connection);
  // A descriptor is free again for a connection waiting for one.
  if (src->parked_fd >= 0 || src->accept_resume_us != 0) resume_accepting(src);
  PTZSocket *endpoint = PTZ_SOCKET(server);
  if (serves_descriptor(server) && fd == endpoint->fd) {
    endpoint->fd = -1;
    if (server->close_callback != nullptr) server->close_callback(server->close_data);
  }
}

void ptz_socket_server_unref(PTZSocketServerHandle *handle) {
  if (handle != nullptr && handle->server != nullptr) g_object_unref(handle->server);
}

void ptz_socket_server_set_partial_timeout(PTZSocketServer *server, guint timeout_ms) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_SOCKET_SERVER(server));
  if (server->source != nullptr) server->source->partial_timeout_ms = timeout_ms;
}

void ptz_socket_server_set_max_connections_per_user(PTZSocketServer *server, guint max_connections) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_SOCKET_SERVER(server));
  if (server->source != nullptr) server->source->max_per_user = max_connections;
}

void ptz_socket_server_allow_user(PTZSocketServer *server, uid_t uid) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_SOCKET_SERVER(server));
  if (server->source == nullptr) return;
  guint32 id = uid;
  server->source->policy = true;
  g_array_append_val(server->source->allowed_uids, id);
}

void ptz_socket_server_allow_group(PTZSocketServer *server, gid_t gid) {
  PTZ_RETURN_IF_FAIL(PTZ_IS_SOCKET_SERVER(server));
  if (server->source == nullptr) return;
  guint32 id = gid;
  server->source->policy = true;
  g_array_append_val(server->source->allowed_gids, id);
}

}  // extern "C"
