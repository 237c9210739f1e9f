# Installation, the exported CMake package (find_package(Crumple CONFIG) gives
# Crumple::Crumple and Crumple::Korvane) and the CPack archives.
include(CMakePackageConfigHelpers)

set(CRUMPLE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Crumple)

set_target_properties(Korvane PROPERTIES EXPORT_NAME Korvane)
set_target_properties(Crumple PROPERTIES EXPORT_NAME Crumple)
install(TARGETS Korvane Crumple EXPORT CrumpleTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# Headers keep their folders, so "plugin/Kel_Crumple.h" and its "../host/"
# includes resolve the same way installed as in the source tree.
install(FILES ${KORVANE_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/crumple/host)
install(FILES ${PROJECT_SOURCE_DIR}/plugin/Kel_Crumple.h ${PROJECT_SOURCE_DIR}/plugin/crumple_api.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/crumple/plugin)
install(EXPORT CrumpleTargets NAMESPACE Crumple:: DESTINATION ${CRUMPLE_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CrumpleConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CrumpleConfig.cmake INSTALL_DESTINATION ${CRUMPLE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CrumpleConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CrumpleConfig.cmake ${PROJECT_BINARY_DIR}/CrumpleConfigVersion.cmake
  DESTINATION ${CRUMPLE_CMAKE_DIR})

if(WIN32)
  set(crumple_doc_dir .)
else()
  set(crumple_doc_dir ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${crumple_doc_dir})
# The README's links point into docs/, so the pages travel with it.
file(GLOB crumple_doc_pages ${PROJECT_SOURCE_DIR}/docs/*.md ${PROJECT_SOURCE_DIR}/docs/*.png)
install(FILES ${crumple_doc_pages} DESTINATION ${crumple_doc_dir}/docs)

if(PROJECT_IS_TOP_LEVEL)
  set(CPACK_PACKAGE_NAME Crumple)
  set(CPACK_PACKAGE_VENDOR "Crumple developers")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Mesh-damage channel plug-in and its stand-in host library")
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  if(WIN32)
    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(CPACK_SYSTEM_NAME win64)
    else()
      set(CPACK_SYSTEM_NAME win32)
    endif()
  else()
    set(CPACK_GENERATOR TGZ)
  endif()
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
  include(CPack)
endif()
