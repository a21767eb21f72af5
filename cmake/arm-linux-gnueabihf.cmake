# 32-bit Arm (ARMv7, hard float), Debian's armhf.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(VELMORA_CROSS_TRIPLET arm-linux-gnueabihf)
set(VELMORA_CROSS_QEMU qemu-arm-static)
# GCC notes on every std::vector instantiation that the passing of some
# aggregates changed in GCC 7.1; nothing built here meets code of older ones.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
