# Installs the build in BUILD into a fresh prefix under WORK, then builds and
# runs the consumers in SOURCE: the C++ one through find_package and through
# pkg-config, the line engine's (lines.cpp) through find_package, and the C
# one (main.c) with the C compiler CC through pkg-config, warnings as errors;
# with FAST, the one linked with geoconv::fast (fast.cpp) through find_package
# and through pkg-config. Each must print the expected conversion.
set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
set(conversion "3981053.178755 0.000000 4966421.008341 -> 51.472222220 0.000000000 10.000000\n")

# Runs a command, which must succeed and, with EXPECT, print exactly that.
function(run)
  cmake_parse_arguments(R "" "EXPECT" "" ${ARGN})
  execute_process(COMMAND ${R_UNPARSED_ARGUMENTS} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR (DEFINED R_EXPECT AND NOT out STREQUAL R_EXPECT))
    message(FATAL_ERROR "${R_UNPARSED_ARGUMENTS}: status ${rc}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(f include/geoconv/geoconv.hpp include/geoconv/geoconv.h include/geoconv/registry.hpp
          include/geoconv/routines.def include/geoconv/constants.def
          include/geoconv/lines.hpp lib/libgeoconv.a lib/libgeoconv-lines.a bin/geoconv
          bin/geoconv-demo share/man/man1/geoconv.1 share/man/man1/geoconv-demo.1
          lib/cmake/geoconv/geoconvConfig.cmake
          lib/cmake/geoconv/geoconvConfigVersion.cmake lib/pkgconfig/geoconv.pc)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
run(${prefix}/bin/geoconv --version EXPECT "geoconv ${VERSION}\n")

run(${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/cmake-build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_CXX_COMPILER=${CXX})
run(${CMAKE_COMMAND} --build ${WORK}/cmake-build)
run(${WORK}/cmake-build/consumer EXPECT "${conversion}")
run(${WORK}/cmake-build/consumer-lines EXPECT "51.472222220 0.000000000 10.000000\n")

set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
run(${PKG_CONFIG} --modversion geoconv EXPECT "${VERSION}\n")
run(${PKG_CONFIG} --cflags --libs geoconv)
separate_arguments(flags UNIX_COMMAND "${out}")
run(${CXX} -std=c++17 ${SOURCE}/main.cpp ${flags} -o ${WORK}/pc-consumer)
run(${WORK}/pc-consumer EXPECT "${conversion}")
run(${CC} -std=c11 -Wall -Wextra -Werror ${SOURCE}/main.c ${flags} -o ${WORK}/c-consumer)
run(${WORK}/c-consumer EXPECT "${conversion}")

if(FAST)
  foreach(f include/geoconv/fast.hpp include/geoconv/fast.h lib/libgeoconv-fast.a
            lib/pkgconfig/geoconv-fast.pc)
    if(NOT EXISTS ${prefix}/${f})
      message(FATAL_ERROR "not installed: ${f}")
    endif()
  endforeach()
  set(fast "fast 3981053.179 0.000 4966421.008\n")
  run(${WORK}/cmake-build/consumer-fast EXPECT "${fast}")
  run(${PKG_CONFIG} --cflags --libs geoconv-fast)
  separate_arguments(flags UNIX_COMMAND "${out}")
  run(${CXX} -std=c++17 ${SOURCE}/fast.cpp ${flags} -o ${WORK}/pc-consumer-fast)
  run(${WORK}/pc-consumer-fast EXPECT "${fast}")
endif()
