// Runs a program as a separate process with the given arguments and standard
// input, and captures its standard output and standard error apart.

#ifndef GEOCONV_TESTS_PROCESS_HPP
#define GEOCONV_TESTS_PROCESS_HPP

#include <string>
#include <vector>

namespace geoconv_test {

struct ProcessResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 if the process did not exit normally
  long max_rss_kib = 0;  // peak resident memory
};

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input = "",
                          const std::vector<std::string>& extra_env = {});

}  // namespace geoconv_test

#endif
