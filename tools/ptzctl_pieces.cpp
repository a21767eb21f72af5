// ptzctl send: typed pieces of payloads and replies.
#include "ptzctl_pieces.h"

#include <errno.h>

#include <cmath>
#include <cstring>

#include <ptz_serialize.h>

#include "ptzctl.h"

namespace ptzctl {
namespace {

using Kind = DecodedPiece::Kind;

struct PieceType {
  const char *name;
  Kind kind;
  guint size;  // 0: variable
};

constexpr PieceType kTypes[] = {
    {"u8", Kind::kUnsigned, 1}, {"u16", Kind::kUnsigned, 2}, {"u32", Kind::kUnsigned, 4}, {"u64", Kind::kUnsigned, 8},
    {"i8", Kind::kSigned, 1},   {"i16", Kind::kSigned, 2},   {"i32", Kind::kSigned, 4},   {"i64", Kind::kSigned, 8},
    {"f32", Kind::kSingle, 4},  {"f64", Kind::kDouble, 8},   {"bool", Kind::kBoolean, 4}, {"str", Kind::kString, 0},
    {"hex", Kind::kBytes, 0},
};

const PieceType *find_type(const std::string &name) {
  for (const PieceType &type : kTypes)
    if (name == type.name) return &type;
  return nullptr;
}

std::string type_names() {
  std::string names;
  for (const PieceType &type : kTypes) names += (names.empty() ? "" : " ") + std::string(type.name);
  return names;
}

// The low `size` bytes of `bits`, as the library's writers put them.
void append_bits(GArray *payload, guint64 bits, guint size) {
  switch (size) {
    case 1:
      ptz_serialize_8bit(payload, guint8(bits));
      break;
    case 2:
      ptz_serialize_16bit(payload, guint16(bits));
      break;
    case 4:
      ptz_serialize_32bit(payload, guint32(bits));
      break;
    default:
      ptz_serialize_blob(payload, &bits, sizeof bits);
      break;
  }
}

// The `size`-byte value at *indx, read with the library's readers; the
// caller has checked that it is there.
guint64 read_bits(GArray *array, guint *indx, guint size) {
  switch (size) {
    case 1:
      return ptz_deserialize_8bit(array, indx);
    case 2:
      return ptz_deserialize_16bit(array, indx);
    case 4:
      return ptz_deserialize_32bit(array, indx);
    default: {
      guint64 bits;
      gpointer copy = ptz_deserialize_blob(array, indx, sizeof bits);
      memcpy(&bits, copy, sizeof bits);
      g_free(copy);
      return bits;
    }
  }
}

// A whole text that is one floating-point number, in the C locale.
bool parse_real(const std::string &text, double *out) {
  if (text.empty() || g_ascii_isspace(text[0])) return false;
  errno = 0;
  char *end = nullptr;
  double value = g_ascii_strtod(text.c_str(), &end);
  if (*end != '\0' || (errno == ERANGE && std::isinf(value))) return false;
  *out = value;
  return true;
}

bool parse_bool(const std::string &text, bool *out) {
  static constexpr struct {
    const char *word;
    bool flag;
  } kWords[] = {{"1", true}, {"true", true}, {"yes", true}, {"0", false}, {"false", false}, {"no", false}};
  for (const auto &word : kWords)
    if (g_ascii_strcasecmp(text.c_str(), word.word) == 0) {
      *out = word.flag;
      return true;
    }
  return false;
}

std::string hex_text(const std::string &bytes, const char *separator) {
  std::string text;
  char digits[3];
  for (size_t i = 0; i < bytes.size(); i++) {
    g_snprintf(digits, sizeof digits, "%02x", guint8(bytes[i]));
    if (i > 0) text += separator;
    text += digits;
  }
  return text;
}

}  // namespace

bool encode_piece(const std::string &piece, GArray *payload, std::string *error) {
  size_t colon = piece.find(':');
  const PieceType *type = colon == std::string::npos ? nullptr : find_type(piece.substr(0, colon));
  if (type == nullptr) {
    *error = "'" + piece + "' is not TYPE:VALUE with TYPE one of " + type_names();
    return false;
  }
  const std::string value = piece.substr(colon + 1);
  const std::string bits = std::to_string(type->size * 8);
  switch (type->kind) {
    case Kind::kUnsigned: {
      uint64_t number = 0;
      uint64_t max = type->size == 8 ? G_MAXUINT64 : (guint64(1) << (type->size * 8)) - 1;
      if (!parse_unsigned(value, max, &number)) {
        *error = "'" + value + "' is not an unsigned " + bits + "-bit number (" + type->name + ")";
        return false;
      }
      append_bits(payload, number, type->size);
      return true;
    }
    case Kind::kSigned: {
      int64_t number = 0;
      int64_t max = type->size == 8 ? G_MAXINT64 : (gint64(1) << (type->size * 8 - 1)) - 1;
      if (!parse_integer(value, -max - 1, max, &number)) {
        *error = "'" + value + "' is not a signed " + bits + "-bit number (" + type->name + ")";
        return false;
      }
      append_bits(payload, guint64(number), type->size);
      return true;
    }
    case Kind::kSingle:
    case Kind::kDouble: {
      double number = 0;
      bool single = type->kind == Kind::kSingle;
      if (!parse_real(value, &number) || (single && std::isfinite(number) && std::fabs(number) > G_MAXFLOAT)) {
        *error =
            "'" + value + "' is not a " + (single ? "single" : "double") + "-precision number (" + type->name + ")";
        return false;
      }
      if (single) {
        float narrow = float(number);
        guint32 word;
        memcpy(&word, &narrow, sizeof word);
        ptz_serialize_32bit(payload, word);
      } else {
        ptz_serialize_blob(payload, &number, sizeof number);
      }
      return true;
    }
    case Kind::kBoolean: {
      bool flag = false;
      if (!parse_bool(value, &flag)) {
        *error = "'" + value + "' is not a boolean (bool: 1, 0, true, false, yes or no)";
        return false;
      }
      ptz_serialize_32bit(payload, flag ? 1 : 0);
      return true;
    }
    case Kind::kString:
      if (value.size() > G_MAXUINT16) {
        *error = "a str piece holds at most 65535 bytes, not " + std::to_string(value.size());
        return false;
      }
      ptz_serialize_string(payload, value.c_str());
      return true;
    case Kind::kBytes: {
      std::string bytes, why;
      if (!parse_hex(value, &bytes, &why)) {
        *error = "bad hex piece: " + why;
        return false;
      }
      ptz_serialize_blob(payload, bytes.data(), guint(bytes.size()));
      return true;
    }
  }
  return false;
}

bool parse_reply_layout(const std::string &text, std::vector<ReplyPiece> *layout, std::string *error) {
  gchar **names = g_strsplit(text.c_str(), ",", -1);
  bool ok = names[0] != nullptr;
  if (!ok) *error = "--reply wants a list of types such as u32,str";
  for (gchar **name = names; ok && *name != nullptr; name++) {
    std::string word = *name;
    ReplyPiece piece;
    int64_t count = 0;
    if (word.compare(0, 4, "hex:") == 0 && parse_integer(word.substr(4), 1, 2560, &count)) {
      piece.type = "hex";
      piece.size = guint(count);
    } else if (const PieceType *type = find_type(word)) {
      piece.type = type->name;
      piece.size = type->size;
      piece.rest = type->kind == Kind::kBytes;
      if (piece.rest && name[1] != nullptr) {
        *error = "a bare hex takes the rest of the reply: it must come last (or give hex:N)";
        ok = false;
      }
    } else {
      *error = "'" + word + "' is not a reply type (" + type_names() + ", hex:N)";
      ok = false;
    }
    layout->push_back(piece);
  }
  g_strfreev(names);
  return ok;
}

long decode_reply(const std::string &reply, const std::vector<ReplyPiece> &layout, std::vector<DecodedPiece> *pieces,
                  std::string *error) {
  GArray *array = g_array_sized_new(FALSE, FALSE, 1, guint(reply.size()));
  g_array_append_vals(array, reply.data(), guint(reply.size()));
  guint indx = 0;
  bool ok = true;
  for (const ReplyPiece &piece : layout) {
    const PieceType *type = find_type(piece.type);
    guint remaining = array->len - indx;
    guint needed = piece.rest ? 0 : piece.size;
    if (type->kind == Kind::kString) {
      guint16 length = 0;
      if (remaining >= 2) memcpy(&length, array->data + indx, 2);
      needed = 2 + guint(length);
    }
    if (needed > remaining) {
      *error = "piece " + std::to_string(pieces->size() + 1) + " (" + piece.type + ") needs " + std::to_string(needed) +
               " bytes at offset " + std::to_string(indx) + ", but " + std::to_string(remaining) + " remain";
      ok = false;
      break;
    }
    DecodedPiece decoded;
    decoded.type = piece.size > 0 && piece.type == "hex" ? "hex:" + std::to_string(piece.size) : piece.type;
    decoded.kind = type->kind;
    switch (type->kind) {
      case Kind::kUnsigned:
        decoded.unsigned_integer = read_bits(array, &indx, type->size);
        break;
      case Kind::kSigned: {
        guint64 bits = read_bits(array, &indx, type->size);
        guint shift = 64 - type->size * 8;  // sign-extend from the piece's width
        decoded.integer = gint64(bits << shift) >> shift;
        break;
      }
      case Kind::kSingle: {
        guint32 word = guint32(read_bits(array, &indx, 4));
        memcpy(&decoded.single, &word, sizeof word);
        break;
      }
      case Kind::kDouble: {
        guint64 bits = read_bits(array, &indx, 8);
        memcpy(&decoded.real, &bits, sizeof bits);
        break;
      }
      case Kind::kBoolean:
        decoded.flag = read_bits(array, &indx, 4) != 0;
        break;
      case Kind::kString: {
        gchar *text = ptz_deserialize_string(array, &indx);
        decoded.bytes = text;
        g_free(text);
        break;
      }
      case Kind::kBytes: {
        guint size = piece.rest ? remaining : piece.size;
        decoded.bytes.assign(array->data + indx, size);
        indx += size;
        break;
      }
    }
    pieces->push_back(decoded);
  }
  long left = long(array->len - indx);
  g_array_free(array, TRUE);
  return ok ? left : -1;
}

std::string DecodedPiece::text() const {
  switch (kind) {
    case kUnsigned:
      return std::to_string(unsigned_integer);
    case kSigned:
      return std::to_string(integer);
    case kSingle:
      return number_text(single);
    case kDouble:
      return number_text(real);
    case kBoolean:
      return flag ? "true" : "false";
    case kString: {
      // Quoted, with C escapes; UTF-8 text stays as it is.
      std::string exceptions;
      if (g_utf8_validate(bytes.data(), gssize(bytes.size()), nullptr))
        for (int c = 0x80; c <= 0xff; c++) exceptions += char(c);
      gchar *escaped = g_strescape(bytes.c_str(), exceptions.c_str());
      std::string quoted = "\"" + std::string(escaped) + "\"";
      g_free(escaped);
      return quoted;
    }
    case kBytes:
      return hex_text(bytes, " ");
  }
  return "";
}

void DecodedPiece::write_json(JsonWriter &out) const {
  switch (kind) {
    case kUnsigned:
      out.unsigned_integer(unsigned_integer);
      break;
    case kSigned:
      out.integer(integer);
      break;
    case kSingle:
      out.number(single);
      break;
    case kDouble:
      out.number(real);
      break;
    case kBoolean:
      out.boolean(flag);
      break;
    case kString:
      out.string(bytes);
      break;
    case kBytes:
      out.string(hex_text(bytes, ""));
      break;
  }
}

std::string hex_digits(const std::string &bytes) { return hex_text(bytes, ""); }

}  // namespace ptzctl
