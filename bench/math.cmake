# geoconv-math-bench: the elementary functions of geoconv/src/math beside the
# platform's libm and, where libllvmlibc-22-dev is installed, LLVM libc's.
add_executable(geoconv-math-bench ${CMAKE_CURRENT_LIST_DIR}/math_bench.cpp)
target_include_directories(geoconv-math-bench PRIVATE ${PROJECT_SOURCE_DIR}/geoconv/src)
target_compile_options(geoconv-math-bench PRIVATE $<$<CXX_COMPILER_ID:GNU,Clang>:-ffp-contract=off>)
# The timed lambdas return 4-lane vectors by value, with the functions
# inlined into them: GCC's note on that ABI (its pragma does not reach it).
target_compile_options(geoconv-math-bench PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-psabi>)
find_file(GEOCONV_LLVM_LIBC libllvmlibc.a PATHS /usr/lib/llvm-22/lib NO_DEFAULT_PATH)
if(GEOCONV_LLVM_LIBC)
  target_compile_definitions(geoconv-math-bench PRIVATE GEOCONV_BENCH_LLVM_LIBC)
  target_link_libraries(geoconv-math-bench PRIVATE ${GEOCONV_LLVM_LIBC})
endif()
