// A framework service in a process of its own, for the client tests:
//   bus_service <service name>
// exports interface "com.brantel.PTZ.<name>" (Echo, Fail) through
// PTZGDBusServer at the scheme's path, requests the scheme's bus name, and
// runs until SIGTERM.
#include <glib-unix.h>

#include <cstdio>
#include <string>

#include "ptz_gdbus.h"

namespace {

GMainLoop *loop;
GDBusInterfaceInfo *info;

void on_call(GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *method, GVariant *parameters,
             GDBusMethodInvocation *invocation, gpointer) {
  if (g_str_equal(method, "Echo")) {
    g_dbus_method_invocation_return_value(invocation, g_variant_ref(parameters));
    return;
  }
  gint code = 0;
  g_variant_get(parameters, "(i)", &code);
  std::string name = "com.brantel.PTZ.Error.Code" + std::to_string(code);
  g_dbus_method_invocation_return_dbus_error(invocation, name.c_str(), "failed on request");
}

const GDBusInterfaceVTable vtable = {on_call, nullptr, nullptr, {}};

}  // namespace

// A skeleton for an interface described at run time.
typedef struct {
  GDBusInterfaceSkeleton parent;
} EchoSkeleton;
typedef struct {
  GDBusInterfaceSkeletonClass parent_class;
} EchoSkeletonClass;
G_DEFINE_TYPE(EchoSkeleton, echo_skeleton, G_TYPE_DBUS_INTERFACE_SKELETON)
static void echo_skeleton_init(EchoSkeleton *) {}
static void echo_skeleton_class_init(EchoSkeletonClass *klass) {
  auto *skeleton_class = G_DBUS_INTERFACE_SKELETON_CLASS(klass);
  skeleton_class->get_info = [](GDBusInterfaceSkeleton *) { return info; };
  skeleton_class->get_vtable = [](GDBusInterfaceSkeleton *) { return const_cast<GDBusInterfaceVTable *>(&vtable); };
  skeleton_class->get_properties = [](GDBusInterfaceSkeleton *) {
    return g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0);
  };
  skeleton_class->flush = [](GDBusInterfaceSkeleton *) {};
}

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  gchar *xml = g_strdup_printf(
      "<node><interface name='com.brantel.PTZ.%s'>"
      "<method name='Echo'><arg type='s' direction='in'/><arg type='s' direction='out'/></method>"
      "<method name='Fail'><arg type='i' direction='in'/></method></interface></node>",
      argv[1]);
  GDBusNodeInfo *node = g_dbus_node_info_new_for_xml(xml, nullptr);
  if (node == nullptr) return 3;
  info = node->interfaces[0];
  loop = g_main_loop_new(nullptr, FALSE);
  auto *skeleton = G_DBUS_INTERFACE_SKELETON(g_object_new(echo_skeleton_get_type(), nullptr));
  auto *server = PTZ_G_DBUS_SERVER(g_object_new(PTZ_TYPE_G_DBUS_SERVER, nullptr));
  if (!ptz_g_dbus_server_dbus_register(server, skeleton, argv[1], -1) ||
      !ptz_g_dbus_server_dbus_request_name(server, argv[1]))
    return 1;
  g_unix_signal_add(
      SIGTERM,
      [](gpointer) {
        g_main_loop_quit(loop);
        return gboolean(G_SOURCE_REMOVE);
      },
      nullptr);
  g_main_loop_run(loop);
  g_object_unref(server);
  g_object_unref(skeleton);
  g_main_loop_unref(loop);
  g_dbus_node_info_unref(node);
  g_free(xml);
  return 0;
}
