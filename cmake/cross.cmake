# Cross build with Debian's cross compiler for the processor GEOCONV_CROSS
# (aarch64, s390x, ...; the package g++-<processor>-linux-gnu), programs linked
# statically and run by qemu-user (qemu-user-static), ctest included:
#
#   cmake -S . -B build/cross-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/cross.cmake -DGEOCONV_CROSS=s390x
if(NOT GEOCONV_CROSS)
  message(FATAL_ERROR "Name the target processor: -DGEOCONV_CROSS=aarch64 (or s390x, ...)")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES GEOCONV_CROSS)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${GEOCONV_CROSS})
set(CMAKE_C_COMPILER ${GEOCONV_CROSS}-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER ${GEOCONV_CROSS}-linux-gnu-g++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Libraries and headers of the target only; programs (Python, qemu) of the host.
set(CMAKE_FIND_ROOT_PATH /usr/${GEOCONV_CROSS}-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(GEOCONV_QEMU qemu-${GEOCONV_CROSS}-static)
if(NOT GEOCONV_QEMU)
  message(FATAL_ERROR "qemu-${GEOCONV_CROSS}-static not found: install qemu-user-static")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${GEOCONV_QEMU})
