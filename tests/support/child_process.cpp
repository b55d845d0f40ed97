#include "support/child_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

extern char** environ;

namespace {

bool DisplayVariable(const std::string& name) {
  return name.rfind("CUBE_", 0) == 0 || name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "SDL_VIDEODRIVER";
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0) kill(pid_, SIGTERM);
  Finish();
}

// Pipes for the child's standard input, output and error.
bool ChildProcess::Pipes(int in[2], int out[2], int err[2]) {
  if (pipe(in) != 0) return false;
  if (pipe(out) == 0) {
    if (pipe(err) == 0) return true;
    close(out[0]);
    close(out[1]);
  }
  close(in[0]);
  close(in[1]);
  return false;
}

// Once the child has its ends, the parent keeps the writing end of the
// child's standard input and the reading ends of its output.
void ChildProcess::KeepParentEnds(const int in[2], const int out[2], const int err[2]) {
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_ = in[1];
  out_ = out[0];
  err_ = err[0];
}

bool ChildProcess::Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                         const std::vector<int>& closed) {
  std::vector<std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string var = *e;
    if (!DisplayVariable(var.substr(0, var.find('=')))) vars.push_back(var);
  }
  for (const auto& [name, value] : env)
    if (!value.empty()) vars.push_back(name + "=" + value);
  int in[2], out[2], err[2];
  if (args.empty() || !Pipes(in, out, err)) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
  for (int fd : closed) posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& v : vars) envp.push_back(const_cast<char*>(v.c_str()));
  envp.push_back(nullptr);
  // The program starts as from a shell: no signal ignored because this
  // process (whose substitute ignores SIGPIPE and SIGXFSZ) ignores it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  const int failed = posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  KeepParentEnds(in, out, err);
  if (failed != 0) pid_ = -1;
  return failed == 0;
}

bool ChildProcess::Fork(const std::function<void()>& body) {
  int in[2], out[2], err[2];
  if (!Pipes(in, out, err)) return false;
  // Nothing this process has buffered may come out of the child as well.
  std::fflush(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    body();
    _exit(0);
  }
  KeepParentEnds(in, out, err);
  return pid_ > 0;
}

bool ChildProcess::ReadLine(std::string* line) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    const size_t nl = out.find('\n');
    if (nl != std::string::npos) {
      *line = out.substr(0, nl);
      out.erase(0, nl + 1);
      return true;
    }
    if (std::chrono::steady_clock::now() > deadline || !Drain(100)) return false;
  }
}

int ChildProcess::Finish() {
  if (in_ >= 0) close(in_);
  in_ = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (Drain(100)) {
    if (std::chrono::steady_clock::now() > deadline && pid_ > 0) kill(pid_, SIGKILL);
  }
  int status = 0;
  const bool waited = pid_ > 0 && waitpid(pid_, &status, 0) == pid_;
  pid_ = -1;
  if (waited && WIFSIGNALED(status)) endedBy = WTERMSIG(status);
  return waited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildProcess::Signal(int signal) { return pid_ > 0 && kill(pid_, signal) == 0; }

// Reads what either stream has; false once both are at their end.
bool ChildProcess::Drain(int timeoutMs) {
  if (out_ < 0 && err_ < 0) return false;
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  if (poll(fds, 2, timeoutMs) < 0) return false;
  int* ends[2] = {&out_, &err_};
  std::string* into[2] = {&out, &err};
  for (int i = 0; i < 2; ++i) {
    if (*ends[i] < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
    char buffer[4096];
    const ssize_t n = read(*ends[i], buffer, sizeof buffer);
    if (n > 0) {
      into[i]->append(buffer, static_cast<size_t>(n));
    } else {
      close(*ends[i]);
      *ends[i] = -1;
    }
  }
  return out_ >= 0 || err_ >= 0;
}
