// Process and thread basics: last error, identifiers, time, exit, version
// and kernel32's string lengths.
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hosted/hooks.h"
#include "kernel/clock.h"
#include "kernel/process_end.h"
#include "platform.h"

namespace kernel {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

struct Version {
  DWORD major, minor, build, platformId;
  WORD servicePackMajor;
  const WCHAR* servicePackText;
  bool fail;
};

// What a fresh Wine 8 prefix reports to a program without a manifest.
constexpr Version kDefaultVersion{6, 1, 7601, VER_PLATFORM_WIN32_NT, 1, TEXT("Service Pack 1"), false};

std::mutex versionLock;
Version version = kDefaultVersion;

// A test's clock, when set, stands for the monotonic clock everywhere.
std::atomic<uint64_t (*)()> testNow{nullptr};
std::atomic<void (*)(uint64_t)> testSleepUntil{nullptr};

}  // namespace

uint64_t NowMicros() {
  if (auto now = testNow.load()) return now();
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000u + static_cast<uint64_t>(t.tv_nsec) / 1000u;
}

void SleepUntilMicros(uint64_t micros) {
  if (auto sleepUntil = testSleepUntil.load()) {
    sleepUntil(micros);
    return;
  }
  timespec t;
  t.tv_sec = static_cast<time_t>(micros / 1000000u);
  t.tv_nsec = static_cast<long>(micros % 1000000u) * 1000;
  // An absolute deadline: a signal in between does not stretch the wait.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
  }
}

void WaitUntilMicros(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, uint64_t micros) {
  if (auto sleepUntil = testSleepUntil.load()) {
    lock.unlock();
    sleepUntil(micros);
    lock.lock();
    return;
  }
  const uint64_t now = NowMicros();
  if (micros > now) wake.wait_for(lock, std::chrono::microseconds(micros - now));
}

}  // namespace kernel

using namespace kernel;

DWORD WINAPI GetLastError() { return lastError; }

void WINAPI SetLastError(DWORD code) { lastError = code; }

DWORD WINAPI GetCurrentThreadId() {
  thread_local DWORD id = static_cast<DWORD>(gettid());
  return id;
}

DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

void WINAPI Sleep(DWORD milliseconds) {
  // Not waits on the clock: 0 only yields, INFINITE never returns.
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) pause();
  }
  SleepUntilMicros(NowMicros() + uint64_t{milliseconds} * 1000u);
}

// Milliseconds since boot, wrapping at 32 bits as on Windows.
DWORD WINAPI GetTickCount() { return static_cast<DWORD>(NowMicros() / 1000u); }

namespace kernel {
namespace {

struct Enders {
  std::mutex lock;
  std::vector<void (*)()> list;
};

// Never destroyed: the list is read while the process ends.
Enders& TheEnders() {
  static Enders* enders = new Enders;
  return *enders;
}

// Each runs once: the list is taken before it is run.
void RunProcessEnd() {
  std::vector<void (*)()> list;
  {
    std::lock_guard<std::mutex> guard(TheEnders().lock);
    list.swap(TheEnders().list);
  }
  for (void (*fn)() : list) fn();
}

}  // namespace

void AtProcessEnd(void (*fn)()) {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(RunProcessEnd); });
  std::lock_guard<std::mutex> guard(TheEnders().lock);
  TheEnders().list.push_back(fn);
}

}  // namespace kernel

void WINAPI ExitProcess(UINT exitCode) {
  kernel::RunProcessEnd();
  std::fflush(nullptr);
  // Ends every thread at once; static destructors and atexit handlers do not
  // run, so no other thread can see the program half torn down.
  _exit(static_cast<int>(exitCode));
}

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info) {
  // Windows would fault on a null record; failing is the safer answer.
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD size = info->dwOSVersionInfoSize;
  Version v;
  {
    std::lock_guard guard(versionLock);
    v = version;
  }
  if ((size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) || v.fail) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  info->dwMajorVersion = v.major;
  info->dwMinorVersion = v.minor;
  info->dwBuildNumber = v.build;
  info->dwPlatformId = v.platformId;
  std::char_traits<WCHAR>::assign(info->szCSDVersion, 128, 0);
  std::char_traits<WCHAR>::copy(info->szCSDVersion, v.servicePackText,
                                std::char_traits<WCHAR>::length(v.servicePackText));
  if (size == sizeof(OSVERSIONINFOEXW)) {
    auto* ex = reinterpret_cast<OSVERSIONINFOEXW*>(info);
    ex->wServicePackMajor = v.servicePackMajor;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = 0;
    ex->wProductType = VER_NT_WORKSTATION;
  }
  return TRUE;
}

int WINAPI lstrlenW(LPCWSTR text) {
  return text == nullptr ? 0 : static_cast<int>(std::char_traits<WCHAR>::length(text));
}

int WINAPI lstrlenA(LPCSTR text) {
  return text == nullptr ? 0 : static_cast<int>(std::char_traits<char>::length(text));
}

namespace hosted {

void SetVersion(DWORD major, DWORD minor, DWORD build, DWORD platformId, bool fail) {
  std::lock_guard guard(versionLock);
  version = Version{major, minor, build, platformId, 0, TEXT(""), fail};
}

void ResetVersion() {
  std::lock_guard guard(versionLock);
  version = kDefaultVersion;
}

}  // namespace hosted

void hosted::SetClock(uint64_t (*now)(), void (*sleepUntil)(uint64_t micros)) {
  testNow = now;
  testSleepUntil = sleepUntil;
}
