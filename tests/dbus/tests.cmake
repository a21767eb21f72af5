# D-Bus tests: a separate service process for the client tests.
set(dbus_test_dir ${CMAKE_CURRENT_LIST_DIR})
add_executable(test_dbus_bus_service ${dbus_test_dir}/bus_service.cpp)
target_link_libraries(test_dbus_bus_service PRIVATE velmora_dbus)
if(TARGET test_dbus_gdbus)
  add_dependencies(test_dbus_gdbus test_dbus_bus_service)
  velmora_target_exec(test_dbus_bus_service bus_service)
  target_compile_definitions(test_dbus_gdbus PRIVATE BUS_SERVICE_PATH="${bus_service}")
endif()
# The binding tests also call through GLib's command-line D-Bus client.
find_program(GDBUS_TOOL gdbus REQUIRED)
if(TARGET test_dbus_legacy_binding)
  target_compile_definitions(test_dbus_legacy_binding PRIVATE GDBUS_TOOL="${GDBUS_TOOL}")
endif()
# The configuration-event stand-in's tests need only the stand-in and the
# bus helpers.
if(TARGET test_platform_quiral)
  target_link_libraries(test_platform_quiral PRIVATE velmora::platform::quiral)
endif()
