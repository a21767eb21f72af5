// What the fuzz targets of the command channel share: a reference reading
// of framed bytes and a way to let the main context catch up.
#pragma once

#include <glib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ptz_socket_server.h"

namespace velmora::fuzz {

constexpr size_t kMessageMax = PTZ_SOCKET_MESSAGE_MAX;
constexpr size_t kHeaderSize = PTZ_SOCKET_HEADER_SIZE;

inline guint32 header_field(const uint8_t *bytes) {
  guint32 value;
  memcpy(&value, bytes, 4);
  return value;
}

struct Frame {
  guint32 id;
  std::string payload;
  size_t end;  // offset just behind the message
};

// The messages a correct reader takes from a stream: the complete ones, up
// to the first length field below the header size or above the limit
// (after which nothing on the stream can be framed) or an incomplete end.
inline std::vector<Frame> reference_frames(const uint8_t *data, size_t size) {
  std::vector<Frame> frames;
  size_t at = 0;
  while (size - at >= 4) {
    const guint32 length = header_field(data + at);
    if (length < kHeaderSize || length > kMessageMax || size - at < length) break;
    frames.push_back({header_field(data + at + 4),
                      std::string(reinterpret_cast<const char *>(data + at + kHeaderSize), length - kHeaderSize),
                      at + length});
    at += length;
  }
  return frames;
}

// Dispatches the default main context until nothing is ready.
inline void run_dry() {
  for (int i = 0; i < 100000 && g_main_context_iteration(nullptr, FALSE); i++) {
  }
}

}  // namespace velmora::fuzz
