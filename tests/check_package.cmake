# Installs the build in BUILD into a fresh prefix under WORK, then builds and
# runs the consumers in SOURCE: the C++ one through find_package and through
# pkg-config, and the C one (main.c) with the C compiler CC through
# pkg-config, warnings as errors. Fails unless each prints the expected
# conversion.
set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(expected "3981053.178755 0.000000 4966421.008341 -> 51.472222220 0.000000000 10.000000")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(f include/geoconv/geoconv.hpp include/geoconv/geoconv.h lib/libgeoconv.a
          bin/geoconv bin/geoconv-demo
          lib/cmake/geoconv/geoconvConfig.cmake lib/cmake/geoconv/geoconvConfigVersion.cmake
          lib/pkgconfig/geoconv.pc)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
run(${prefix}/bin/geoconv --version)
if(NOT out STREQUAL "geoconv 1.0.0\n")
  message(FATAL_ERROR "geoconv --version printed '${out}'")
endif()

# find_package
run(${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/cmake-build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_CXX_COMPILER=${CXX})
run(${CMAKE_COMMAND} --build ${WORK}/cmake-build)
run(${WORK}/cmake-build/consumer)
if(NOT out STREQUAL "${expected}\n")
  message(FATAL_ERROR "find_package consumer printed '${out}'")
endif()

# pkg-config
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
run(${PKG_CONFIG} --modversion geoconv)
if(NOT out STREQUAL "1.0.0\n")
  message(FATAL_ERROR "pkg-config --modversion printed '${out}'")
endif()
run(${PKG_CONFIG} --cflags --libs geoconv)
string(STRIP "${out}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX} -std=c++17 ${SOURCE}/main.cpp ${flags} -o ${WORK}/pc-consumer)
run(${WORK}/pc-consumer)
if(NOT out STREQUAL "${expected}\n")
  message(FATAL_ERROR "pkg-config consumer printed '${out}'")
endif()

# pkg-config from C
run(${CC} -std=c11 -Wall -Wextra -Werror ${SOURCE}/main.c ${flags} -o ${WORK}/c-consumer)
run(${WORK}/c-consumer)
if(NOT out STREQUAL "${expected}\n")
  message(FATAL_ERROR "C consumer printed '${out}'")
endif()
message(STATUS "installed package used through find_package, pkg-config and from C")
