# Cross-building on Debian with its cross compilers and multiarch development
# packages (dpkg --add-architecture): the target's headers and libraries live
# in /usr/include/<triplet> and /usr/lib/<triplet> beside the build machine's
# own. Included by the toolchain files, which set VELMORA_CROSS_TRIPLET and
# VELMORA_CROSS_QEMU first.
#
# Programs the build runs (gdbus-codegen, gdbus, dbus-daemon) are the build
# machine's; libraries, headers, CMake packages (GTest) and pkg-config files
# are the target's.
#
# Running the target's programs: by default every program CTest starts goes
# through the user-mode emulator (CMAKE_CROSSCOMPILING_EMULATOR), which works
# without any setup of the build machine. With -DVELMORA_BINFMT=ON the kernel
# runs them itself through a binfmt_misc registration of the emulator (as on
# the device, where they simply run), and no emulator is named.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VELMORA_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VELMORA_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VELMORA_CROSS_TRIPLET})
set(PKG_CONFIG_EXECUTABLE ${VELMORA_CROSS_TRIPLET}-pkg-config CACHE FILEPATH "pkg-config of the target")

# Multiarch: the target's files are under the build machine's own prefix, in
# their triplet's folders, so no separate sysroot is searched.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

option(VELMORA_BINFMT "Target programs run directly through a binfmt_misc registration" OFF)
if(NOT VELMORA_BINFMT)
  find_program(VELMORA_QEMU ${VELMORA_CROSS_QEMU} REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_QEMU})
endif()
