# The C interface as users meet it: every public header compiled as C99, the
# exported symbol list, and builds against a staged installation via
# pkg-config and find_package.
set(abi_dir ${CMAKE_CURRENT_LIST_DIR})

add_executable(test_abi_c_consumer ${abi_dir}/consumer.c)
target_link_libraries(test_abi_c_consumer PRIVATE velmora_common)
set_target_properties(test_abi_c_consumer PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
add_test(NAME abi.c_consumer COMMAND test_abi_c_consumer)

add_test(NAME abi.exports COMMAND ${abi_dir}/exports.sh $<TARGET_FILE:velmora_common>
  ${VELMORA_PUBLIC_HEADERS} ${VELMORA_GENERATED_HEADERS})

set(abi_flags "")
if(VELMORA_SANITIZE)
  set(abi_flags -fsanitize=${VELMORA_SANITIZE})
endif()
add_test(NAME abi.install
  COMMAND ${abi_dir}/install.sh ${PROJECT_BINARY_DIR} ${abi_dir}/consumer.c ${abi_dir}/cmake_consumer
    ${abi_flags})
# The build's own compiler, pkg-config and toolchain (a cross build's are the
# target's), and the emulator that runs the consumers where the kernel cannot.
list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " abi_emulator)
set_tests_properties(abi.install PROPERTIES ENVIRONMENT
  "CC=${CMAKE_C_COMPILER};PKG_CONFIG=${PKG_CONFIG_EXECUTABLE};VELMORA_EMULATOR=${abi_emulator};CMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}")
set_tests_properties(abi.c_consumer abi.exports abi.install PROPERTIES LABELS abi)

# g_autoptr() of every class and record, compiled as C99 (gcc's cleanup
# attribute) against the shared library.
add_executable(test_abi_autoptr ${abi_dir}/autoptr.c)
target_link_libraries(test_abi_autoptr PRIVATE velmora_common)
set_target_properties(test_abi_autoptr PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
add_test(NAME abi.autoptr COMMAND test_abi_autoptr)
set_tests_properties(abi.autoptr PROPERTIES LABELS abi SKIP_RETURN_CODE 77
  FIXTURES_REQUIRED system_bus ENVIRONMENT DBUS_SYSTEM_BUS_ADDRESS=${VELMORA_TEST_BUS_ADDRESS})
