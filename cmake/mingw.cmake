# Cross build for Windows on x86-64 with Debian's mingw-w64 (the package
# g++-mingw-w64-x86-64-posix), programs linked statically and run by Wine
# (wine64), ctest included:
#
#   cmake -S . -B build/cross-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# The test builds guard stack frames (-fstack-protector-strong), which
# mingw-w64 takes from libssp, last on the line.
set(CMAKE_C_STANDARD_LIBRARIES "-lssp" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lssp" CACHE STRING "")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(GEOCONV_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(NOT GEOCONV_WINE)
  message(FATAL_ERROR "wine64 not found: install wine64")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${GEOCONV_WINE})
