# The end-to-end tests run the example driver and commander as real
# processes; they learn where the programs are from these definitions.
if(VELMORA_BUILD_EXAMPLES AND TARGET test_examples_end_to_end)
  add_dependencies(test_examples_end_to_end ptz_sim_driver ptz_commander)
  velmora_target_exec(ptz_sim_driver sim_driver)
  velmora_target_exec(ptz_commander commander)
  target_compile_definitions(test_examples_end_to_end PRIVATE
    SIM_DRIVER_PATH="${sim_driver}" COMMANDER_PATH="${commander}")
endif()
# The head simulation is plain C inside the example driver; its test
# compiles it in.
if(TARGET test_examples_sim_head)
  target_sources(test_examples_sim_head PRIVATE ${PROJECT_SOURCE_DIR}/examples/ptz_sim_head.c)
  target_include_directories(test_examples_sim_head PRIVATE ${PROJECT_SOURCE_DIR}/examples)
endif()
# The driver and the client written from the API reference, run against each
# other (examples/reference).
if(VELMORA_BUILD_EXAMPLES)
  add_test(NAME examples.reference_pair
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/reference_pair.sh $<TARGET_FILE:ptz_ref_driver> $<TARGET_FILE:ptz_ref_client>)
  set_tests_properties(examples.reference_pair PROPERTIES LABELS examples TIMEOUT 120
    FIXTURES_REQUIRED system_bus ENVIRONMENT DBUS_SYSTEM_BUS_ADDRESS=${VELMORA_TEST_BUS_ADDRESS})
endif()
