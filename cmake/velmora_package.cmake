# The CMake package: find_package(velmora_common) gives the imported target
# velmora_common::velmora_common, and with the bundled stand-ins also
# velmora_common::<stand-in> (durnik, tamsel, ...) for programs that call
# a device library directly.
include(CMakePackageConfigHelpers)
set(VELMORA_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/velmora_common)
install(EXPORT velmora_common_targets
  NAMESPACE velmora_common::
  FILE velmora_commonTargets.cmake
  DESTINATION ${VELMORA_CMAKE_INSTALL_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/velmora_commonConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/velmora_commonConfig.cmake
  INSTALL_DESTINATION ${VELMORA_CMAKE_INSTALL_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/velmora_commonConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/velmora_commonConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/velmora_commonConfigVersion.cmake
  DESTINATION ${VELMORA_CMAKE_INSTALL_DIR})
