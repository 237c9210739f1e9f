# cmake -DMODE=package|subdirectory -DSOURCE_DIR= -DBUILD_DIR= -DWORK_DIR= -DCXX= -DCONFIG= -P run_consumer.cmake
# package: installs BUILD_DIR into WORK_DIR/prefix and builds the consumer with
# find_package. subdirectory: builds the consumer with SOURCE_DIR added to it.
# Then runs the consumer, which loads the plug-in.
file(REMOVE_RECURSE ${WORK_DIR})
if(NOT CONFIG)
  set(CONFIG Release)
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  message("${out}")
endfunction()

set(configure ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/build
  -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=${CONFIG})
if(MODE STREQUAL "package")
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --config ${CONFIG} --prefix ${WORK_DIR}/prefix)
  foreach(file lib/cmake/Crumple/CrumpleConfig.cmake lib/cmake/Crumple/CrumpleConfigVersion.cmake
               include/crumple/plugin/Kel_Crumple.h include/crumple/host/plugin_loader.h)
    if(NOT EXISTS ${WORK_DIR}/prefix/${file})
      message(FATAL_ERROR "install is missing ${file}")
    endif()
  endforeach()
  run(${configure} -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix)
else()
  run(${configure} -DCRUMPLE_SOURCE_DIR=${SOURCE_DIR})
endif()
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build --config ${CONFIG})
run(${WORK_DIR}/build/consumer)
