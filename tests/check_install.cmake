# Installs the build into a folder of the build tree, then builds examples/ on its own against that copy,
# once through find_package and once through pkg-config, and runs its tests: a broken install fails here.
#
#   cmake -DBUILD_DIR=dir -DSOURCE_DIR=dir -DWORK=dir -DLIBDIR=lib -DC_COMPILER=cc -DCXX_COMPILER=c++
#         [-DSANITIZE=address,undefined] -P check_install.cmake
file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command}\nfailed (${status}):\n${out}\n${err}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=${SANITIZE}")
endif()
foreach(mode find_package pkg-config)
  set(build ${WORK}/examples-${mode})
  set(options -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} "-DCMAKE_C_FLAGS=${flags}"
              "-DCMAKE_CXX_FLAGS=${flags}" "-DCMAKE_EXE_LINKER_FLAGS=${flags}")
  if(mode STREQUAL "pkg-config")
    # Only the .pc files say where the libraries are.
    set(environment ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig)
    list(APPEND options -DVEXFILT_EXAMPLES_PKG_CONFIG=ON)
  else()
    set(environment ${CMAKE_COMMAND} -E env)
    list(APPEND options -DCMAKE_PREFIX_PATH=${prefix})
  endif()
  run(${environment} ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${build} -G Ninja ${options})
  run(${CMAKE_COMMAND} --build ${build})
  run(${CMAKE_COMMAND} -E env TZ=UTC ${CMAKE_CTEST_COMMAND} --test-dir ${build} --output-on-failure)
  message(STATUS "examples built and passed through ${mode}")
endforeach()
