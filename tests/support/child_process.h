// A child process of a hosted test, with pipes on its standard streams: a
// program started with an environment of its own, or a function run in a
// fork of the test.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // One still running is stopped (TERM: an X server removes its socket and
  // lock on the way) and waited for.
  ~ChildProcess();

  // Starts a program, found on PATH, in the test's environment without any
  // CUBE_ or display variable (DISPLAY, WAYLAND_DISPLAY, SDL_VIDEODRIVER),
  // plus env; an empty value leaves its variable out. The standard
  // descriptors named in closed (0, 1, 2) are closed in the program.
  bool Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
             const std::vector<int>& closed = {});
  // Runs body in a fork of this process, which ends with code 0 when body
  // returns.
  bool Fork(const std::function<void()>& body);

  // The next line of standard output, or false at its end or after 20 s.
  bool ReadLine(std::string* line);
  // Closes standard input, reads both streams to their end and waits for
  // the exit; the exit code, or -1 when the child did not exit normally or
  // was still running after a minute (it is killed then).
  int Finish();
  // Sends a signal to the running child.
  bool Signal(int signal);

  std::string out;
  std::string err;
  // The signal that ended the child, once Finish saw it end by one.
  int endedBy = 0;

 private:
  bool Drain(int timeoutMs);
  bool Pipes(int in[2], int out[2], int err[2]);
  void KeepParentEnds(const int in[2], const int out[2], const int err[2]);
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
};
