# 64-bit Arm, Debian's arm64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VELMORA_CROSS_TRIPLET aarch64-linux-gnu)
set(VELMORA_CROSS_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
