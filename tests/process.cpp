#include "process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace geoconv_test {

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input, const std::vector<std::string>& extra_env) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  signal(SIGPIPE, SIG_IGN);

  std::vector<std::string> envs;
  for (char** e = environ; *e != nullptr; ++e) envs.emplace_back(*e);
  for (const auto& e : extra_env) envs.push_back(e);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);

  ProcessResult result;
  std::size_t written = 0;
  int to_child = in[1];
  if (input.empty()) {
    close(to_child);
    to_child = -1;
  } else {
    fcntl(to_child, F_SETFL, O_NONBLOCK);
  }
  bool out_open = true, err_open = true;
  char buf[65536];
  while (out_open || err_open) {
    pollfd fds[3];
    int n = 0;
    if (out_open) fds[n++] = {out[0], POLLIN, 0};
    if (err_open) fds[n++] = {err[0], POLLIN, 0};
    if (to_child >= 0) fds[n++] = {to_child, POLLOUT, 0};
    if (poll(fds, n, -1) < 0) throw std::runtime_error("poll");
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == to_child) {
        const ssize_t w = write(to_child, input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<std::size_t>(w);
        if (w < 0 || written == input.size()) {
          close(to_child);
          to_child = -1;
        }
        continue;
      }
      const ssize_t r = read(fds[i].fd, buf, sizeof buf);
      std::string& sink = fds[i].fd == out[0] ? result.out : result.err;
      if (r > 0) {
        sink.append(buf, static_cast<std::size_t>(r));
      } else {
        (fds[i].fd == out[0] ? out_open : err_open) = false;
      }
    }
  }
  if (to_child >= 0) close(to_child);
  close(out[0]);
  close(err[0]);
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  result.max_rss_kib = usage.ru_maxrss;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace geoconv_test
