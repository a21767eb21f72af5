# The introspection data in use from Python: the example program against the
# example driver. Needs a Python with PyGObject (python3-gi).
if(TARGET velmora_gir AND VELMORA_BUILD_EXAMPLES)
  set(velmora_python "")
  foreach(candidate /usr/bin/python3 python3)
    execute_process(COMMAND ${candidate} -c "import gi" RESULT_VARIABLE no_gi OUTPUT_QUIET ERROR_QUIET)
    if(no_gi EQUAL 0)
      set(velmora_python ${candidate})
      break()
    endif()
  endforeach()
  if(velmora_python)
    add_test(NAME gir.python_tour
      COMMAND ${CMAKE_CURRENT_LIST_DIR}/python_tour.sh ${velmora_python} $<TARGET_FILE:ptz_sim_driver>
        ${PROJECT_SOURCE_DIR}/examples/python/ptz_tour.py ${VELMORA_TYPELIB_DIR}
        $<TARGET_FILE_DIR:velmora_common>)
  else()
    # Said plainly rather than skipped: scripts/deps.sh installs python3-gi.
    add_test(NAME gir.python_tour
      COMMAND ${CMAKE_COMMAND} -E echo "no Python with PyGObject (python3-gi) was found")
    set_tests_properties(gir.python_tour PROPERTIES WILL_FAIL TRUE)
  endif()
  set_tests_properties(gir.python_tour PROPERTIES LABELS gir TIMEOUT 120)
endif()
