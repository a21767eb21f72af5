// ptzctl send: payloads built from typed pieces in the library's byte-array
// encoding (ptz_serialize.h), and replies decoded with the same pieces.
//
//   u8 u16 u32 u64   unsigned integers of 1, 2, 4, 8 bytes, host byte order
//   i8 i16 i32 i64   signed integers (two's complement), the same sizes
//   f32 f64          IEEE 754 single and double precision, host byte order
//   bool             a gboolean: 4 bytes, 0 or 1
//   str              16-bit byte length, then the bytes, no NUL
//   hex              the bytes as given (no length); in a reply, hex:N
//                    takes N bytes and a bare hex the rest
#pragma once

#include <glib.h>

#include <string>
#include <vector>

#include "ptzctl_output.h"

namespace ptzctl {

// Appends the encoding of one piece, "TYPE:VALUE", to `payload`. False with
// `error` set for an unknown type or a value that does not fit it.
bool encode_piece(const std::string &piece, GArray *payload, std::string *error);

// One type of a reply's layout ("u32", "str", "hex:4").
struct ReplyPiece {
  std::string type;
  guint size = 0;     // hex:N
  bool rest = false;  // a bare hex: whatever is left
};

// Parses "u32,str,hex:4". False with `error` set when malformed.
bool parse_reply_layout(const std::string &text, std::vector<ReplyPiece> *layout, std::string *error);

// What one piece of a reply held.
struct DecodedPiece {
  enum Kind {
    kUnsigned,
    kSigned,
    kSingle,
    kDouble,
    kBoolean,
    kString,
    kBytes
  };
  std::string type;
  Kind kind = kBytes;
  uint64_t unsigned_integer = 0;
  int64_t integer = 0;
  float single = 0;
  double real = 0;
  bool flag = false;
  std::string bytes;  // str and hex

  // As printed: "7", "-1.5", "true", "\"door\"", "0a 0b".
  std::string text() const;
  // The value as a JSON value: a number, boolean or string (hex digits for
  // hex pieces).
  void write_json(JsonWriter &out) const;
};

// Decodes `reply` by `layout` into `pieces`, as far as the reply reaches.
// Returns the number of bytes left over; -1 with `error` set when a piece
// needs more bytes than remain (the pieces before it are decoded).
long decode_reply(const std::string &reply, const std::vector<ReplyPiece> &layout, std::vector<DecodedPiece> *pieces,
                  std::string *error);

// The bytes as hex digits without separators ("0a0b").
std::string hex_digits(const std::string &bytes);

}  // namespace ptzctl
