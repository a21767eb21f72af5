// What the socket client classes share inside the library (not exported).
#pragma once

#include <sys/types.h>

#include "ptz_socket_client.h"

#include "common/ptz_mutex.h"

namespace velmora::client {

// Time limit of every write a client makes.
constexpr int kRawSendTimeoutMs = 1000;

// The descriptor the client's sends and reads use: the endpoint's descriptor
// while connected, -1 from the moment the connection is found lost until
// reconnection obtains a new one. Readable from any thread; changed only with
// the client's I/O lock held.
int io_fd(PTZSocketClient *client);

// The locks of a client, always taken in this order, never the other way:
//
//   1. the I/O lock (io_lock()): the descriptor the client uses, and a
//      command client's receive buffer and writes. A synchronous send holds
//      it for its whole exchange, from writing the command to its reply.
//   2. the pending-list lock (a command client's record list_lock): the
//      pending commands and the replies set aside for the main context.
//
// The list lock is taken alone, or inside the I/O lock; a reply set aside is
// delivered with neither held. No lock is held while the reply dispatcher
// or the free callback runs.

// The client's I/O lock: a lock of the client's own, or, for a command
// client, its record's io_lock (set_command_hooks).
velmora::Mutex &io_lock(PTZSocketClient *client);

// Hooks a command client gives its base: the lock that guards its I/O (its
// record's io_lock, which becomes the client's I/O lock), and a function
// that, called with that lock held when the connection is lost, forgets any
// partial message and returns the pending commands (a list of
// PTZSocketPendingCommand) that can no longer be answered.
void set_command_hooks(PTZSocketClient *client, GMutex *io_lock, GList *(*take_orphans)(PTZSocketClient *));

// Marks the connection lost (a hang-up, EPIPE, ECONNRESET, end of stream or a
// broken frame): stops watching, and from the default main context closes the
// descriptor, starts reconnection when the client has a path, and reports
// every orphaned command to the reply dispatcher as expired. Does nothing
// when already lost.
void connection_lost(PTZSocketClient *client) VELMORA_REQUIRES(io_lock(client));

// One read that never blocks, also on a descriptor the caller handed in
// without O_NONBLOCK: what read(2) returns.
ssize_t read_now(int fd, void *buffer, gsize length);

// Whether errno after a failed read or write means the peer is gone.
bool peer_gone(int error);

// After a short or failed write: pauses watching (until add_poll or the end
// of the next synchronous send) and, when `error` says the peer is gone,
// marks the connection lost.
void write_failed(PTZSocketClient *client, int error) VELMORA_REQUIRES(io_lock(client));

// The raw send: the class's write with a time limit of 1000 ms; true when it
// wrote everything, else write_failed has been applied.
bool raw_send(PTZSocketClient *client, int fd, const void *buffer, gsize length) VELMORA_REQUIRES(io_lock(client));

// The pending commands of a command client: the client's documented list
// (oldest first, so in the order of their deadlines), which it keeps in the
// `pending` field, with a tail for appending and an index by id, so that
// appending, finding a command by id and removing it cost the same however
// many commands wait. Used with the client's list lock held.
class PendingIndex {
 public:
  explicit PendingIndex(GList **list);
  ~PendingIndex();
  PendingIndex(const PendingIndex &) = delete;
  PendingIndex &operator=(const PendingIndex &) = delete;

  void append(PTZSocketPendingCommand *command);
  // The element of the oldest command with this id; NULL when none waits.
  GList *find(guint32 id) const;
  // Unlinks and frees the element (not the command it holds).
  void remove(GList *link);
  // Hands over the whole list, leaving it empty.
  GList *take_all();

 private:
  GList **list_;
  GList *tail_ = nullptr;
  GHashTable *by_id_;     // id -> element of the oldest command with it
  guint duplicates_ = 0;  // commands sharing an id with an older one (ids wrap)
};

// Hands one pending command's user data to the reply dispatcher as expired
// (NULL data, length 0) and frees the entry. No lock may be held.
void report_expired(PTZSocketClient *client, PTZSocketPendingCommand *command);

}  // namespace velmora::client
