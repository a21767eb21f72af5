// The payload encoding driven by a GVariant type: a value is encoded piece
// by piece with the library's own writers and decoded with its readers, so
// both sides of a conversation agree whatever language each is written in.
#include <cstring>

#include "common/ptz_guard.h"
#include "common/ptz_log.h"
#include "ptz_serialize.h"

namespace {

// The names the two conversions log under.
constexpr char kEncode[] = "ptz_serialize_variant";
constexpr char kDecode[] = "ptz_deserialize_variant";

// Whether values of `type` can be encoded: basic types y n q i u s, and
// tuples, dictionary entries and arrays of them (an empty tuple encodes to
// nothing, so a forged count of them could never be bounded by the payload).
bool supported(const GVariantType *type) {
  if (g_variant_type_is_array(type)) return supported(g_variant_type_element(type));
  if (g_variant_type_is_tuple(type) || g_variant_type_is_dict_entry(type)) {
    if (g_variant_type_n_items(type) == 0) return false;
    for (const GVariantType *item = g_variant_type_first(type); item; item = g_variant_type_next(item))
      if (!supported(item)) return false;
    return true;
  }
  switch (g_variant_type_peek_string(type)[0]) {
    case 'y':
    case 'n':
    case 'q':
    case 'i':
    case 'u':
    case 's':
      return true;
    default:
      return false;
  }
}

// Appends `value`, whose type is supported; false when a string does not fit
// its 16-bit length or an array its 32-bit count.
bool encode(GArray *array, GVariant *value) {
  const GVariantType *type = g_variant_get_type(value);
  if (g_variant_type_is_array(type)) {
    gsize n = g_variant_n_children(value);
    if (n > G_MAXUINT32) return false;
    ptz_serialize_32bit(array, guint32(n));
  }
  if (g_variant_is_container(value)) {
    gsize n = g_variant_n_children(value);
    for (gsize i = 0; i < n; i++) {
      GVariant *child = g_variant_get_child_value(value, i);
      bool ok = encode(array, child);
      g_variant_unref(child);
      if (!ok) return false;
    }
    return true;
  }
  switch (g_variant_classify(value)) {
    case G_VARIANT_CLASS_BYTE:
      ptz_serialize_8bit(array, g_variant_get_byte(value));
      return true;
    case G_VARIANT_CLASS_INT16:
      ptz_serialize_16bit(array, guint16(g_variant_get_int16(value)));
      return true;
    case G_VARIANT_CLASS_UINT16:
      ptz_serialize_16bit(array, g_variant_get_uint16(value));
      return true;
    case G_VARIANT_CLASS_INT32:
      ptz_serialize_32bit(array, guint32(g_variant_get_int32(value)));
      return true;
    case G_VARIANT_CLASS_UINT32:
      ptz_serialize_32bit(array, g_variant_get_uint32(value));
      return true;
    default: {  // 's'
      gsize length = 0;
      const gchar *text = g_variant_get_string(value, &length);
      if (length > G_MAXUINT16) return false;
      ptz_serialize_string(array, text);
      return true;
    }
  }
}

GVariant *decode(GArray *array, guint *indx, const GVariantType *type);

// Reads `n` children of a container of `type`: elements of an array, or
// the members of a tuple or dictionary entry in order.
GVariant *decode_children(GArray *array, guint *indx, const GVariantType *type, gsize n) {
  const bool elements = g_variant_type_is_array(type);
  const GVariantType *item = elements ? g_variant_type_element(type) : g_variant_type_first(type);
  GVariantBuilder builder;
  g_variant_builder_init(&builder, type);
  for (gsize i = 0; i < n; i++, item = elements ? item : g_variant_type_next(item)) {
    GVariant *child = decode(array, indx, item);
    if (child == nullptr) {
      g_variant_builder_clear(&builder);
      return nullptr;
    }
    g_variant_builder_add_value(&builder, child);
  }
  return g_variant_builder_end(&builder);
}

// Reads one value of `type` at *indx (advancing it), or returns NULL with
// *indx anywhere: the caller restores it. Every value read consumes at least
// one byte, so a forged array count cannot outlast the payload.
GVariant *decode(GArray *array, guint *indx, const GVariantType *type) {
  if (g_variant_type_is_array(type)) {
    guint before = *indx;
    guint32 n = ptz_deserialize_32bit(array, indx);
    if (*indx == before || n > array->len - *indx) return nullptr;
    return decode_children(array, indx, type, n);
  }
  if (g_variant_type_is_tuple(type) || g_variant_type_is_dict_entry(type))
    return decode_children(array, indx, type, g_variant_type_n_items(type));
  guint before = *indx;
  GVariant *value = nullptr;
  switch (g_variant_type_peek_string(type)[0]) {
    case 'y':
      value = g_variant_new_byte(ptz_deserialize_8bit(array, indx));
      break;
    case 'n':
      value = g_variant_new_int16(gint16(ptz_deserialize_16bit(array, indx)));
      break;
    case 'q':
      value = g_variant_new_uint16(ptz_deserialize_16bit(array, indx));
      break;
    case 'i':
      value = g_variant_new_int32(gint32(ptz_deserialize_32bit(array, indx)));
      break;
    case 'u':
      value = g_variant_new_uint32(ptz_deserialize_32bit(array, indx));
      break;
    default: {  // 's': text that is not UTF-8 is taken as ISO-8859-1
      gchar *text = ptz_deserialize_string(array, indx);
      if (text == nullptr) return nullptr;
      if (!g_utf8_validate(text, -1, nullptr)) {
        gchar *converted = g_convert(text, -1, "UTF-8", "ISO-8859-1", nullptr, nullptr, nullptr);
        g_free(text);
        text = converted;
      }
      value = text != nullptr ? g_variant_new_take_string(text) : nullptr;
      break;
    }
  }
  if (*indx == before) {  // the reader refused: too few bytes left
    if (value != nullptr) g_variant_unref(g_variant_ref_sink(value));
    return nullptr;
  }
  return value;
}

}  // namespace

GBytes *ptz_serialize_variant(GVariant *value) {
  PTZ_RETURN_VAL_IF_FAIL(value != nullptr, nullptr);
  g_variant_ref_sink(value);
  GBytes *bytes = nullptr;
  if (!supported(g_variant_get_type(value))) {
    PTZ_LOG_ERR("%s: values of type '%s' have no encoding.", kEncode, g_variant_get_type_string(value));
  } else {
    GArray *array = ptz_serialize_create_array();
    if (encode(array, value)) {
      guint length = array->len;
      bytes = g_bytes_new_take(g_array_free(array, FALSE), length);
    } else {
      PTZ_LOG_ERR("%s: a string or an array of the value is too long for its length field.", kEncode);
      g_array_free(array, TRUE);
    }
  }
  g_variant_unref(value);
  return bytes;
}

GVariant *ptz_deserialize_variant(GBytes *payload, guint *indx, const GVariantType *type) {
  PTZ_RETURN_VAL_IF_FAIL(payload != nullptr, nullptr);
  PTZ_RETURN_VAL_IF_FAIL(indx != nullptr, nullptr);
  PTZ_RETURN_VAL_IF_FAIL(type != nullptr && g_variant_type_is_definite(type), nullptr);
  gchar *type_string = g_variant_type_dup_string(type);
  GVariant *value = nullptr;
  if (!supported(type)) {
    PTZ_LOG_ERR("%s: values of type '%s' have no encoding.", kDecode, type_string);
  } else {
    gsize size = 0;
    const guint8 *data = static_cast<const guint8 *>(g_bytes_get_data(payload, &size));
    if (size > G_MAXUINT) size = G_MAXUINT;  // a payload is never this long
    GArray *array = g_array_sized_new(FALSE, FALSE, 1, guint(size));
    g_array_append_vals(array, data, guint(size));
    guint position = *indx;
    value = position <= array->len ? decode(array, &position, type) : nullptr;
    if (value != nullptr) {
      *indx = position;
      g_variant_ref_sink(value);
    } else {
      PTZ_LOG_ERR("%s: the payload (%u bytes) holds no value of type '%s' at index %u.", kDecode, array->len,
                  type_string, *indx);
    }
    g_array_free(array, TRUE);
  }
  g_free(type_string);
  return value;
}
