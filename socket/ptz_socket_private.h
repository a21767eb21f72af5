// Internal hooks of the socket endpoint and the descriptor source for the
// other socket classes of the library (not exported).
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include "ptz_socket.h"

namespace velmora::socket {

// The endpoint: `notify` is called on the default main context right after a
// reconnection attempt left a valid descriptor in self->fd, before the timer
// ends. NULL clears it.
void set_reconnect_notify(PTZSocket *self, void (*notify)(PTZSocket *self, gpointer data), gpointer data);

// The descriptor source: `notify` is called from its dispatch when the
// descriptor hangs up (or reports an error), after it was unregistered and
// the lock released. NULL clears it.
void source_set_hangup_notify(GSource *source, void (*notify)(gpointer data), gpointer data);

// Watches `fd` instead of the current descriptor: the old one is
// unregistered, the new one registered when it is 0 or more (so a paused
// source watches again). Safe from any thread.
void source_set_fd(GSource *source, int fd);

// Holds the source for a caller that reads its descriptor itself (a
// synchronous exchange): while held, the source dispatches nothing, and a
// main context that finds the descriptor ready meanwhile stops watching it,
// so only a main loop that actually polls it pays for the change of its poll
// set. Releasing resumes watching when `resume` is true, also when watching
// was paused before the hold (as ptz_file_g_source_add_poll). Safe from any
// thread; holds do not nest.
void source_hold(GSource *source);
void source_release(GSource *source, bool resume);

// One write that never raises SIGPIPE and never waits on a socket:
// sendmsg(MSG_NOSIGNAL | MSG_DONTWAIT) on sockets, writev on other
// descriptors. Returns what writev(2) returns.
ssize_t write_once(int fd, const struct iovec *iov, int iovcnt);

// Most pieces write_vectored takes at once.
constexpr int kMaxPieces = 4;

// The endpoint's timed write of several buffers (at most kMaxPieces) as one
// message, with the contract of PTZSocketClass.write (0 for a descriptor that
// is not open, -1 on failure, else the bytes written); pieces go out in as
// few system calls as the socket allows, the first before any poll.
int write_vectored(PTZSocket *self, int fd, const struct iovec *iov, int iovcnt, int timeout_ms);

}  // namespace velmora::socket
