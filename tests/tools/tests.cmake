# The tool's tests run the built ptzctl binary as a child process, and read
# its JSON with an independent parser.
pkg_check_modules(JSON_GLIB REQUIRED IMPORTED_TARGET json-glib-1.0)
file(GLOB ptzctl_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/test_*.cpp)
foreach(source IN LISTS ptzctl_test_sources)
  get_filename_component(name ${source} NAME_WE)
  string(REGEX REPLACE "^test_" "test_tools_" target ${name})
  target_link_libraries(${target} PRIVATE PkgConfig::JSON_GLIB)
  if(VELMORA_BUILD_EXAMPLES AND EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
    velmora_target_exec(ptzctl ptzctl)
    target_compile_definitions(${target} PRIVATE PTZCTL_PATH="${ptzctl}")
    add_dependencies(${target} ptzctl)
  endif()
endforeach()

# The installed man page renders without warnings, and the installed bash
# completion offers what ptzctl has.
if(VELMORA_BUILD_EXAMPLES AND EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
  add_test(NAME tools.man_page_and_completion
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/installed_docs.sh ${PROJECT_BINARY_DIR})
  set_tests_properties(tools.man_page_and_completion PROPERTIES LABELS tools)
endif()
