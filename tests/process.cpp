#include "process.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace geoconv_test {

namespace {
std::string slurp(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  std::remove(path.c_str());
  return text.str();
}
}  // namespace

// Standard input comes from a file and the two outputs go to files, so that
// no pipe can fill up and block either side.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input, const std::vector<std::string>& extra_env) {
  const std::string base =
      (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + std::string("/geoconv-") +
      std::to_string(getpid()) + "-";
  const std::string in = base + "in", out = base + "out", err = base + "err";
  std::ofstream(in, std::ios::binary) << input;

  std::vector<std::string> env_text(extra_env);
  for (char** e = environ; *e != nullptr; ++e) env_text.emplace_back(*e);
  std::vector<char*> argv{const_cast<char*>(program.c_str())}, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  for (auto& e : env_text) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    dup2(open(in.c_str(), O_RDONLY), 0);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  ProcessResult result{slurp(out), slurp(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                       usage.ru_maxrss};
  std::remove(in.c_str());
  return result;
}

}  // namespace geoconv_test
