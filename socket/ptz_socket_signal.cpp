// PTZSocketSignal: a client endpoint sending NUL-terminated text
// notifications, without framing, to the server at its path.
#include <string.h>

#include "ptz_socket.h"

namespace {
// How long one write of a notification may wait for room in the socket.
constexpr int kEmitTimeoutMs = 100;
}  // namespace

G_DEFINE_TYPE(PTZSocketSignal, ptz_socket_signal, PTZ_TYPE_SOCKET)

static void ptz_socket_signal_class_init(PTZSocketSignalClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = ptz_socket_signal_finalize;
}

static void ptz_socket_signal_init(PTZSocketSignal *) {}

extern "C" {

PTZSocketSignal *ptz_socket_signal_new(const gchar *socket, int socket_type) {
  return PTZ_SOCKET_SIGNAL(ptz_socket_new(PTZ_TYPE_SOCKET_SIGNAL, PTZ_SOCKET_ROLE_CLIENT, socket, socket_type));
}

void ptz_socket_signal_emit(PTZSocketSignal *self, const gchar *text) {
  if (self == nullptr || text == nullptr) return;
  PTZSocket *endpoint = PTZ_SOCKET(self);
  if (endpoint->fd < 0) return;  // not connected: the notification is dropped
  PTZSocketClass *klass = PTZ_SOCKET_GET_CLASS(endpoint);
  const gsize length = strlen(text) + 1;
  gsize written = 0;
  while (written < length) {
    int n = klass->write(endpoint, endpoint->fd, text + written, length - written, kEmitTimeoutMs);
    if (n <= 0) break;
    written += gsize(n);
  }
  if (written < length) klass->add_retry(endpoint);
}

void ptz_socket_signal_finalize(GObject *object) { G_OBJECT_CLASS(ptz_socket_signal_parent_class)->finalize(object); }

}  // extern "C"
