// A property change that is announced: PTZDynamicalProperties against its
// floor, a GObject property whose change is announced through "notify".
// Reports the ratio of the two (goal: 1.0 or less).
#include <glib-object.h>

#include "bench/bench_ratio.h"
#include "ptz_dynamical_properties.h"

namespace {

// The floor: a plain GObject class with one int property.
struct Plain {
  GObject parent;
  gint zoom;
};
struct PlainClass {
  GObjectClass parent_class;
};
G_DEFINE_TYPE(Plain, plain, G_TYPE_OBJECT)
GParamSpec *zoom_pspec;

void plain_set_property(GObject *object, guint, const GValue *value, GParamSpec *) {
  reinterpret_cast<Plain *>(object)->zoom = g_value_get_int(value);
}
void plain_get_property(GObject *object, guint, GValue *value, GParamSpec *) {
  g_value_set_int(value, reinterpret_cast<Plain *>(object)->zoom);
}
void plain_class_init(PlainClass *klass) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = plain_set_property;
  object_class->get_property = plain_get_property;
  zoom_pspec = g_param_spec_int("zoom", "zoom", "zoom", G_MININT, G_MAXINT, 0, G_PARAM_READWRITE);
  g_object_class_install_property(object_class, 1, zoom_pspec);
}
void plain_init(Plain *) {}

void count(gpointer, gpointer, gpointer data) { ++*static_cast<long *>(data); }

void BM_GObjectPropertyNotify(benchmark::State &state) {
  GObject *object = G_OBJECT(g_object_new(plain_get_type(), nullptr));
  long notified = 0;
  g_signal_connect(object, "notify::zoom", G_CALLBACK(count), &notified);
  gint n = 0;
  for (auto _ : state) {
    // What a class does for a changed value: store it, then notify.
    reinterpret_cast<Plain *>(object)->zoom = ++n;
    g_object_notify_by_pspec(object, zoom_pspec);
  }
  if (notified != n) state.SkipWithError("lost notifications");
  g_object_unref(object);
}
BENCHMARK(BM_GObjectPropertyNotify);

void BM_GObjectSetProperty(benchmark::State &state) {
  GObject *object = G_OBJECT(g_object_new(plain_get_type(), nullptr));
  long notified = 0;
  g_signal_connect(object, "notify::zoom", G_CALLBACK(count), &notified);
  GValue value = G_VALUE_INIT;
  g_value_init(&value, G_TYPE_INT);
  gint n = 0;
  for (auto _ : state) {
    g_value_set_int(&value, ++n);
    g_object_set_property(object, "zoom", &value);  // notifies by itself
  }
  g_value_unset(&value);
  if (notified != n) state.SkipWithError("lost notifications");
  g_object_unref(object);
}
BENCHMARK(BM_GObjectSetProperty);

void BM_DynamicalPropertiesSet(benchmark::State &state) {
  PTZDynamicalProperties *props = ptz_dynamical_properties_new();
  long notified = 0;
  g_signal_connect(props, "notify_change", G_CALLBACK(count), &notified);
  gint n = 0;
  for (auto _ : state) {
    GValue *value = g_new0(GValue, 1);
    g_value_set_int(g_value_init(value, G_TYPE_INT), ++n);
    ptz_dynamical_properties_set(props, "zoom", value);
  }
  if (notified != n) state.SkipWithError("lost notifications");
  g_object_unref(props);
}
BENCHMARK(BM_DynamicalPropertiesSet);

}  // namespace

int main(int argc, char **argv) {
  using velmora::bench::Goal;
  return velmora::bench::run_and_report(
      argc, argv,
      {{"Dynamical property set that notifies, against a GObject property set that notifies",
        "BM_DynamicalPropertiesSet", "BM_GObjectSetProperty", Goal::kAtMost, 1},
       {"Dynamical property set that notifies, against a GObject field store and notify by pspec",
        "BM_DynamicalPropertiesSet", "BM_GObjectPropertyNotify"}});
}
