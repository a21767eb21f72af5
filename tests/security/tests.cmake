# Hostile-user tests: the policy test starts a bus daemon of its own, configured
# like a device's system bus with the installed policy file, and calls it
# through GLib's command-line client as another account.
if(TARGET test_security_bus_policy)
  find_program(DBUS_DAEMON dbus-daemon REQUIRED)
  find_program(GDBUS_TOOL gdbus REQUIRED)
  target_compile_definitions(test_security_bus_policy PRIVATE
    DBUS_DAEMON="${DBUS_DAEMON}"
    GDBUS_TOOL="${GDBUS_TOOL}"
    STRICT_BUS_CONF="${CMAKE_CURRENT_LIST_DIR}/strict-system-bus.conf.in"
    POLICY_FILE="${PROJECT_SOURCE_DIR}/dbus/velmora-ptz.conf")
endif()
