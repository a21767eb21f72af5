// The installed D-Bus policy on a bus configured like a device's system bus
// (everything denied unless a policy file allows it), with a legacy
// configuration service running as root: another account (nobody)
// introspects and reads, and is refused every change; root and the
// administrators' group change.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "nobody_child.h"
#include "ptz_gdbus.h"
#include "ptz_legacy_config_dynamic_generated_dbus.h"
#include "tests/dbus/bus_support.h"

namespace {

using velmora::testing::NobodyChild;
using Legacy = ptzlegacyconfigdynamicConfigurationLegacy;

constexpr const char *kLegacy = "com.brantel.Configuration.Legacy";
constexpr const char *kDenied = "org.freedesktop.DBus.Error.AccessDenied";

// The methods that reached the service, by name.
using Served = std::vector<std::string>;

void note(gpointer served, GDBusMethodInvocation *invocation) {
  static_cast<Served *>(served)->push_back(g_dbus_method_invocation_get_method_name(invocation));
}
gboolean on_sync(Legacy *object, GDBusMethodInvocation *invocation, gpointer served) {
  note(served, invocation);
  ptz_legacy_config_dynamic_configuration_legacy_complete_sync(object, invocation);
  return TRUE;
}
gboolean on_add(Legacy *object, GDBusMethodInvocation *invocation, gint index, gpointer served) {
  note(served, invocation);
  ptz_legacy_config_dynamic_configuration_legacy_complete_add_configuration(object, invocation, index);
  return TRUE;
}
gboolean on_remove(Legacy *object, GDBusMethodInvocation *invocation, gint, gpointer served) {
  note(served, invocation);
  ptz_legacy_config_dynamic_configuration_legacy_complete_remove_configuration(object, invocation);
  return TRUE;
}
gboolean on_get(Legacy *object, GDBusMethodInvocation *invocation, gint, const gchar *, gpointer served) {
  note(served, invocation);
  ptz_legacy_config_dynamic_configuration_legacy_complete_get_configuration_entry(
      object, invocation, g_variant_new_variant(g_variant_new_int32(5)));
  return TRUE;
}
gboolean on_set(Legacy *object, GDBusMethodInvocation *invocation, gint, const gchar *, GVariant *, gpointer served) {
  note(served, invocation);
  ptz_legacy_config_dynamic_configuration_legacy_complete_set_configuration_entry(object, invocation);
  return TRUE;
}
gboolean on_get_all(Legacy *object, GDBusMethodInvocation *invocation, gpointer served) {
  note(served, invocation);
  ptz_legacy_config_dynamic_configuration_legacy_complete_get_configurations(
      object, invocation, g_variant_new_array(G_VARIANT_TYPE("{ia{sv}}"), nullptr, 0));
  return TRUE;
}

// One method call: the interface's method and its arguments in the text
// form of GLib's gdbus tool.
struct Call {
  std::string method;
  std::vector<std::string> args;
};
const Call kChanges[] = {
    {"com.brantel.Configuration.Legacy.SetConfigurationEntry", {"0", "'Speed'", "<5>"}},
    {"com.brantel.Configuration.Legacy.AddConfiguration", {"1"}},
    {"com.brantel.Configuration.Legacy.RemoveConfiguration", {"1"}},
    {"com.brantel.Configuration.Legacy.Sync", {}},
};

// One bus daemon for the test program, configured with the installed policy
// file. The administrators' group is named in that file; on a machine
// without it, one of the machine's own groups stands in for it (only the
// group's name is changed), so that its rules are what is tried.
class BusPolicy : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!velmora::testing::why_attacks_cannot_run().empty()) return;
    dir_ = new velmora::testing::TempDir();
    std::string policy = velmora::testing::read_file(POLICY_FILE);
    if (policy.find("<policy group=\"ptzadmin\">") == std::string::npos ||
        !velmora::testing::open_to_other_accounts(dir_->path(), 0755)) {
      ADD_FAILURE() << "no administrators' group in " << POLICY_FILE << ", or no directory nobody can reach";
      return;
    }
    struct group *admins = nullptr;
    for (const char *name : {"ptzadmin", "staff", "users"})
      if ((admins = getgrnam(name)) != nullptr) break;
    if (admins == nullptr) {
      ADD_FAILURE() << "no group to stand in for ptzadmin";
      return;
    }
    admins_ = admins->gr_gid;
    replace(&policy, "\"ptzadmin\"", std::string("\"") + admins->gr_name + "\"");

    std::string conf = velmora::testing::read_file(STRICT_BUS_CONF);
    replace(&conf, "@BUS_DIR@", dir_->path());
    replace(&conf, "@POLICY@", dir_->write("policy.conf", policy));
    std::string conf_path = dir_->write("bus.conf", conf), log = dir_->file("bus.log");
    daemon_ = new velmora::testing::Child([conf_path, log] {
      int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(fd, 1);
      dup2(fd, 2);
      std::string config = "--config-file=" + conf_path;
      execl(DBUS_DAEMON, DBUS_DAEMON, "--nofork", config.c_str(), nullptr);
      return 127;
    });
    const std::string address = "unix:path=" + dir_->file("system_bus_socket");
    auto answers = [&] {
      GDBusConnection *probe =
          g_dbus_connection_new_for_address_sync(address.c_str(),
                                                 GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                      G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                                 nullptr, nullptr, nullptr);
      if (probe == nullptr) return false;
      g_dbus_connection_close_sync(probe, nullptr, nullptr);
      g_object_unref(probe);
      return true;
    };
    if (!velmora::testing::iterate_until(answers)) {
      ADD_FAILURE() << "the bus did not start: " << velmora::testing::read_file(log);
      return;
    }
    // The framework's classes connect to it as to the system bus.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete daemon_;
    delete dir_;
  }

  // Serves the legacy configuration interface as a framework service running
  // as root, under a name of its own.
  void SetUp() override {
    VELMORA_SKIP_UNLESS_ATTACKS_CAN_RUN();
    ASSERT_NE(g_getenv("DBUS_SYSTEM_BUS_ADDRESS"), nullptr);
    name_ = velmora::testing::unique_name(::testing::UnitTest::GetInstance()->current_test_info()->name());
    skeleton_ = ptz_legacy_config_dynamic_configuration_legacy_skeleton_new();
    g_signal_connect(skeleton_, "handle-sync", G_CALLBACK(on_sync), &served_);
    g_signal_connect(skeleton_, "handle-add-configuration", G_CALLBACK(on_add), &served_);
    g_signal_connect(skeleton_, "handle-remove-configuration", G_CALLBACK(on_remove), &served_);
    g_signal_connect(skeleton_, "handle-get-configuration-entry", G_CALLBACK(on_get), &served_);
    g_signal_connect(skeleton_, "handle-set-configuration-entry", G_CALLBACK(on_set), &served_);
    g_signal_connect(skeleton_, "handle-get-configurations", G_CALLBACK(on_get_all), &served_);
    server_ = PTZ_G_DBUS_SERVER(g_object_new(PTZ_TYPE_G_DBUS_SERVER, nullptr));
    ASSERT_TRUE(ptz_g_dbus_server_dbus_register(server_, G_DBUS_INTERFACE_SKELETON(skeleton_), name_.c_str(), -1));
    ASSERT_TRUE(ptz_g_dbus_server_dbus_request_name(server_, name_.c_str()));
  }
  void TearDown() override {
    if (server_ != nullptr) g_object_unref(server_);
    if (skeleton_ != nullptr) g_object_unref(skeleton_);
  }

  // Makes `call` from a process of GLib's gdbus tool running as nobody (in
  // the supplementary groups given) and returns what the tool printed.
  std::string call_as_nobody(const Call &call, const std::vector<gid_t> &groups = {}) {
    std::vector<std::string> words = {GDBUS_TOOL,
                                      "call",
                                      "--system",
                                      "--dest",
                                      "com.brantel.PTZ." + name_,
                                      "--object-path",
                                      "/com/brantel/PTZ/" + name_,
                                      "--method",
                                      call.method};
    words.insert(words.end(), call.args.begin(), call.args.end());
    std::vector<char *> argv;
    for (auto &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::string out = dir_->file("call.out");
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    NobodyChild caller(
        [&] {
          dup2(fd, 1);
          dup2(fd, 2);
          execv(argv[0], argv.data());
          return 127;
        },
        groups);
    // This process serves the call while the tool waits for the reply.
    EXPECT_TRUE(velmora::testing::iterate_until([&] { return !caller.running(); }, 30000)) << call.method;
    close(fd);
    return velmora::testing::read_file(out);
  }

  // Calls through a second connection of this process (root).
  std::string call_as_root(const char *interface, const char *method, GVariant *parameters) {
    GDBusConnection *peer = velmora::testing::open_peer();
    GError *error = nullptr;
    GVariant *reply = velmora::testing::call_iterating(peer, "com.brantel.PTZ." + name_, "/com/brantel/PTZ/" + name_,
                                                       interface, method, parameters, &error);
    std::string text = reply ? velmora::testing::print(reply) : error->message;
    if (reply) g_variant_unref(reply);
    g_clear_error(&error);
    g_object_unref(peer);
    return text;
  }

  static void replace(std::string *text, const std::string &from, const std::string &to) {
    for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size()))
      text->replace(at, from.size(), to);
  }

  static inline velmora::testing::TempDir *dir_ = nullptr;
  static inline velmora::testing::Child *daemon_ = nullptr;
  static inline gid_t admins_ = 0;
  std::string name_;
  Legacy *skeleton_ = nullptr;
  PTZGDBusServer *server_ = nullptr;
  Served served_;
};

TEST_F(BusPolicy, OtherAccountsReadAndIntrospectButChangeNothing) {
  const struct {
    Call call;
    std::string reply;
  } reads[] = {
      {{"com.brantel.Configuration.Legacy.GetConfigurationEntry", {"0", "'Speed'"}}, "(<5>,)"},
      {{"com.brantel.Configuration.Legacy.GetConfigurations", {}}, "(@a{ia{sv}} {},)"},
      {{"org.freedesktop.DBus.Properties.GetAll", {"'com.brantel.Configuration.Legacy'"}}, "(@a{sv} {},)"},
      {{"org.freedesktop.DBus.Introspectable.Introspect", {}}, "<interface name=\"com.brantel.Configuration.Legacy\">"},
  };
  for (const auto &r : reads) {
    std::string out = call_as_nobody(r.call);
    EXPECT_NE(out.find(r.reply), std::string::npos) << r.call.method << ": " << out;
  }
  EXPECT_EQ(served_, (Served{"GetConfigurationEntry", "GetConfigurations"}));

  std::vector<Call> changes(std::begin(kChanges), std::end(kChanges));
  changes.push_back({"org.freedesktop.DBus.Properties.Set", {"'com.brantel.Configuration.Legacy'", "'Speed'", "<5>"}});
  for (const Call &change : changes) {
    std::string out = call_as_nobody(change);
    EXPECT_NE(out.find(kDenied), std::string::npos) << change.method << ": " << out;
  }
  EXPECT_EQ(served_.size(), 2u) << "a change reached the service";

  // Root changes.
  EXPECT_EQ(call_as_root(kLegacy, "SetConfigurationEntry", g_variant_new("(isv)", 0, "Speed", g_variant_new_int32(5))),
            "()");
  EXPECT_EQ(call_as_root(kLegacy, "AddConfiguration", g_variant_new("(i)", 1)), "(1,)");
  EXPECT_EQ(call_as_root(kLegacy, "RemoveConfiguration", g_variant_new("(i)", 1)), "()");
  EXPECT_EQ(call_as_root(kLegacy, "Sync", nullptr), "()");
  EXPECT_EQ(served_.size(), 6u);
}

TEST_F(BusPolicy, TheAdministratorsGroupChanges) {
  for (const Call &change : kChanges) {
    std::string out = call_as_nobody(change, {admins_});
    EXPECT_EQ(out.find("Error"), std::string::npos) << change.method << ": " << out;
  }
  EXPECT_EQ(served_, (Served{"SetConfigurationEntry", "AddConfiguration", "RemoveConfiguration", "Sync"}));
}

}  // namespace
