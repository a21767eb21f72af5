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
