# The C interface as users meet it: every public header compiled as C99, the
# exported symbol list, and a build against an installed copy via pkg-config.
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
add_test(NAME abi.pkg_config_install
  COMMAND ${abi_dir}/install.sh ${PROJECT_BINARY_DIR} ${abi_dir}/consumer.c ${abi_flags})
# The build's own compiler and pkg-config (a cross build's are the target's),
# and the emulator that runs the consumer where the kernel cannot.
list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " abi_emulator)
set_tests_properties(abi.pkg_config_install PROPERTIES ENVIRONMENT
  "CC=${CMAKE_C_COMPILER};PKG_CONFIG=${PKG_CONFIG_EXECUTABLE};VELMORA_EMULATOR=${abi_emulator}")
set_tests_properties(abi.c_consumer abi.exports abi.pkg_config_install PROPERTIES LABELS abi)
