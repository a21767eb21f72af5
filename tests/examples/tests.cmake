# The end-to-end tests run the example driver and commander as real
# processes; they learn where the programs are from these definitions.
if(VELMORA_BUILD_EXAMPLES AND TARGET test_examples_end_to_end)
  add_dependencies(test_examples_end_to_end ptz_sim_driver ptz_commander)
  target_compile_definitions(test_examples_end_to_end PRIVATE
    SIM_DRIVER_PATH="$<TARGET_FILE:ptz_sim_driver>"
    COMMANDER_PATH="$<TARGET_FILE:ptz_commander>")
endif()
