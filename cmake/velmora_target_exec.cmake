# How tests start the programs of the build when those are built for another
# machine and the build machine runs them through a user-mode emulator
# (CMAKE_CROSSCOMPILING_EMULATOR) rather than a binfmt_misc registration.
#
# The kernel cannot execute such a program itself, so a test that starts one
# (the tool, the example driver, a service process) or a program that
# re-executes itself (GoogleTest's "threadsafe" death tests run argv[0]
# again) needs a file it can execute: a script named like the program, in
# <build>/emulated/, that starts it under the emulator and hands it the
# script's own path as argv[0]. Without an emulator, programs run as they are.

# velmora_target_exec(<target> <variable>): sets <variable> to the path (a
# generator expression) by which <target>'s program is started.
function(velmora_target_exec target variable)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(${variable} $<TARGET_FILE:${target}> PARENT_SCOPE)
    return()
  endif()
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR "\" \"" emulator)
  set(script ${PROJECT_BINARY_DIR}/emulated/$<TARGET_FILE_NAME:${target}>)
  get_property(done GLOBAL PROPERTY VELMORA_EMULATED_${target})
  if(NOT done)
    file(GENERATE OUTPUT ${script}
      CONTENT "#!/bin/sh\nexec \"${emulator}\" -0 \"$0\" \"$<TARGET_FILE:${target}>\" \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set_property(GLOBAL PROPERTY VELMORA_EMULATED_${target} TRUE)
  endif()
  set(${variable} ${script} PARENT_SCOPE)
endfunction()

# velmora_emulated_test_program(<target>): CTest starts <target> the same way,
# so that what it re-executes comes back through the emulator.
function(velmora_emulated_test_program target)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    velmora_target_exec(${target} script)
    set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR} -0 ${script})
  endif()
endfunction()
