# geoconv-math-bench: the elementary functions of geoconv/src/math beside the
# platform's libm and, where libllvmlibc-22-dev is installed, LLVM libc's;
# on x86-64 also geoconv-math-bench-v3, the same built for x86-64-v3 (AVX2
# and FMA), the level glibc's own functions pick on such a processor.
find_file(GEOCONV_LLVM_LIBC libllvmlibc.a PATHS /usr/lib/llvm-22/lib NO_DEFAULT_PATH)
set(GEOCONV_MATH_BENCH_SOURCE ${CMAKE_CURRENT_LIST_DIR}/math_bench.cpp)
function(geoconv_math_bench target)
  add_executable(${target} ${GEOCONV_MATH_BENCH_SOURCE})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/geoconv/src)
  target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU,Clang>:-ffp-contract=off> ${ARGN})
  # The timed lambdas return 4-lane vectors by value, with the functions
  # inlined into them: GCC's note on that ABI (its pragma does not reach it).
  target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-psabi>)
  if(GEOCONV_LLVM_LIBC)
    target_compile_definitions(${target} PRIVATE GEOCONV_BENCH_LLVM_LIBC)
    target_link_libraries(${target} PRIVATE ${GEOCONV_LLVM_LIBC})
  endif()
endfunction()
geoconv_math_bench(geoconv-math-bench)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64" AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  geoconv_math_bench(geoconv-math-bench-v3 -march=x86-64-v3)
endif()
