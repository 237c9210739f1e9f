# The test suite: one GoogleTest program per subsystem, the export check, and
# the consumer check of the installed package.
enable_testing()
include(GoogleTest)

# Cross builds run their programs through the emulator (Wine); without one the
# programs are built but only the checks that run on the build machine count.
set(crumple_can_run ON)
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  # A preset that promises to run its tests must not pass by running none.
  if(CRUMPLE_REQUIRE_EMULATOR)
    message(FATAL_ERROR "no emulator to run the test programs (is wine64 installed?)")
  endif()
  set(crumple_can_run OFF)
endif()

foreach(group host plugin mesh damage scene)
  if(group STREQUAL "scene" AND NOT TARGET crumple_scene)
    continue()
  endif()
  file(GLOB group_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${group}_*.cpp)
  if(group_sources)
    add_executable(${group}_tests ${group_sources} ${TEST_SUPPORT_SOURCES})
    target_include_directories(${group}_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_options(${group}_tests PRIVATE ${CRUMPLE_FLAGS} ${CRUMPLE_WARNINGS})
    target_link_libraries(${group}_tests PRIVATE Crumple Korvane GTest::gtest GTest::gtest_main)
    if(group STREQUAL "scene")
      # The scene steps as the tool runs them, and the stored example data.
      target_link_libraries(${group}_tests PRIVATE crumple_scene)
      target_compile_definitions(${group}_tests PRIVATE CRUMPLE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    endif()
    target_compile_definitions(${group}_tests PRIVATE CRUMPLE_PLUGIN_PATH="${CRUMPLE_PLUGIN_PATH}")
    if(group STREQUAL "damage" OR group STREQUAL "mesh")
      # The algorithms are hidden inside the plug-in: these suites call them
      # from their own copy, the same objects the plug-in is linked from.
      target_link_libraries(${group}_tests PRIVATE CrumpleAlgorithms)
    endif()
    if(crumple_can_run)
      gtest_discover_tests(${group}_tests DISCOVERY_TIMEOUT 120)
    endif()
  endif()
endforeach()

if(WIN32)
  add_test(NAME plugin_exports COMMAND sh ${PROJECT_SOURCE_DIR}/tests/check_exports.sh
    $<TARGET_FILE:Crumple> ${CMAKE_OBJDUMP})
else()
  add_test(NAME plugin_exports COMMAND sh ${PROJECT_SOURCE_DIR}/tests/check_exports.sh $<TARGET_FILE:Crumple>)
endif()

# Installs this build into a scratch prefix and builds a small project against
# it, once through find_package and once with this tree as a subdirectory.
if(NOT CMAKE_CROSSCOMPILING AND NOT CRUMPLE_SANITIZE)
  foreach(mode package subdirectory)
    add_test(NAME consumer_${mode} COMMAND ${CMAKE_COMMAND}
      -DMODE=${mode}
      -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
      -DBUILD_DIR=${PROJECT_BINARY_DIR}
      -DWORK_DIR=${PROJECT_BINARY_DIR}/consumer-${mode}
      -DCXX=${CMAKE_CXX_COMPILER}
      -DCONFIG=$<CONFIG>
      -P ${PROJECT_SOURCE_DIR}/tests/consumer/run_consumer.cmake)
    set_tests_properties(consumer_${mode} PROPERTIES TIMEOUT 600 RESOURCE_LOCK consumer_build)
  endforeach()
endif()

if(NOT CRUMPLE_SANITIZE)
  add_test(NAME package_contents COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DCONFIG=$<CONFIG>
    -DWINDOWS=${WIN32} -P ${PROJECT_SOURCE_DIR}/tests/consumer/check_package.cmake)
  set_tests_properties(package_contents PROPERTIES TIMEOUT 300 RESOURCE_LOCK consumer_build)
endif()

# The soak: long random hit sequences through the loaded plug-in, the mesh
# invariants checked after every update. A test only in the sanitizer build,
# where memory faults it provokes are caught too; elsewhere run it by hand.
file(GLOB soak_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/soak/*.cpp)
add_executable(crumple_soak ${soak_sources} ${TEST_SUPPORT_SOURCES})
target_include_directories(crumple_soak PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_options(crumple_soak PRIVATE ${CRUMPLE_FLAGS} ${CRUMPLE_WARNINGS})
target_link_libraries(crumple_soak PRIVATE Crumple Korvane GTest::gtest)
target_compile_definitions(crumple_soak PRIVATE CRUMPLE_PLUGIN_PATH="${CRUMPLE_PLUGIN_PATH}")
if(CRUMPLE_SANITIZE)
  # Says where the run was when a sanitizer ends it.
  target_compile_definitions(crumple_soak PRIVATE CRUMPLE_SOAK_SANITIZER_HOOK)
  if(crumple_can_run)
    add_test(NAME soak_short COMMAND crumple_soak --hits 10000 --seed 1 --report-every 2500)
    set_tests_properties(soak_short PROPERTIES TIMEOUT 600)
  endif()
endif()
