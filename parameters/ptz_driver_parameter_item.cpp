// Driver parameter items in the payload encoding. Items arrive from other
// processes: an item is taken whole or not at all, so a short payload never
// yields a half-read item whose later fields were decoded from the wrong bytes.
#include "ptz_driver_parameter_item.h"

#include "common/ptz_guard.h"
#include "ptz_serialize.h"

GArray *ptz_driver_parameter_item_serialize(const PTZDriverParameterItem *item, GArray *array) {
  PTZ_RETURN_VAL_IF_FAIL(item != NULL, array);
  ptz_serialize_32bit(array, item->field1);
  ptz_serialize_string(array, item->field2);
  ptz_serialize_string(array, item->field3);
  ptz_serialize_string(array, item->field4);
  ptz_serialize_32bit(array, item->field5);
  ptz_serialize_32bit(array, item->field6);
  ptz_serialize_string(array, item->field7);
  return array;
}

namespace {

// Readers that report whether they read: the payload readers leave the index
// where it was when the value does not fit.
bool read_32bit(GArray *array, guint *indx, guint32 *value) {
  guint before = *indx;
  *value = ptz_deserialize_32bit(array, indx);
  return *indx != before;
}

bool read_string(GArray *array, guint *indx, gchar **value) {
  *value = ptz_deserialize_string(array, indx);
  return *value != nullptr;
}

template <typename T>
void deliver(T *out, T value) {
  if (out != nullptr) *out = value;
}

void deliver_string(gchar **out, gchar *value) {
  if (out != nullptr)
    *out = value;
  else
    g_free(value);
}

}  // namespace

void ptz_driver_parameter_item_deserialize(GArray *array, guint *indx, guint32 *field1, gchar **field2, gchar **field3,
                                           gchar **field4, guint32 *field5, guint32 *field6, gchar **field7) {
  PTZ_RETURN_IF_FAIL(indx != NULL);
  guint index = *indx;
  PTZDriverParameterItem item = {};
  bool complete = read_32bit(array, &index, &item.field1) && read_string(array, &index, &item.field2) &&
                  read_string(array, &index, &item.field3) && read_string(array, &index, &item.field4) &&
                  read_32bit(array, &index, &item.field5) && read_32bit(array, &index, &item.field6) &&
                  read_string(array, &index, &item.field7);
  if (!complete) {
    g_free(item.field2);
    g_free(item.field3);
    g_free(item.field4);
    item = {};
  } else {
    *indx = index;
  }
  deliver(field1, item.field1);
  deliver_string(field2, item.field2);
  deliver_string(field3, item.field3);
  deliver_string(field4, item.field4);
  deliver(field5, item.field5);
  deliver(field6, item.field6);
  deliver_string(field7, item.field7);
}
