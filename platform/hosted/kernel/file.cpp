// Files opened for reading: what the runtime needs to load an image from
// disk. Paths are UTF-16 as on Windows, turned into the host's UTF-8 with
// backslashes as separators; a handle is a record known to this table, so
// a stale or invented one is refused rather than followed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

#include "kernel/utf8.h"
#include "platform.h"

namespace {

struct File {
  int fd;
};

struct Files {
  std::mutex lock;
  std::unordered_set<File*> open;
};

Files& files() {
  static Files* table = new Files;  // never destroyed: handles may outlive statics
  return *table;
}

// The host path of a Windows one; false for a name that is not valid UTF-16.
bool HostPath(LPCWSTR name, std::string& path) {
  const std::u16string_view text(name);
  for (size_t i = 0; i < text.size(); ++i) {
    const int32_t c = hosted_text::NextCodePoint(text.data(), i, text.size());
    if (c < 0) return false;
    hosted_text::AppendUtf8(path, c == '\\' ? '/' : static_cast<uint32_t>(c));
  }
  return true;
}

DWORD ErrorOf(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    default: return ERROR_INVALID_PARAMETER;
  }
}

// The open file a handle names, or null (ERROR_INVALID_HANDLE).
File* Find(HANDLE handle) {
  Files& t = files();
  std::lock_guard<std::mutex> guard(t.lock);
  auto* file = static_cast<File*>(handle);
  if (t.open.count(file) != 0) return file;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD attributes, HANDLE templateFile) {
  (void)share;
  (void)attributes;
  // Reading existing files only: the runtime writes none.
  if (name == nullptr || access != GENERIC_READ || disposition != OPEN_EXISTING || templateFile != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path;
  if (!HostPath(name, path) || path.empty()) {
    SetLastError(path.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(ErrorOf(errno));
    return INVALID_HANDLE_VALUE;
  }
  // Windows opens a directory only with backup semantics.
  struct stat status;
  if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto* file = new File{fd};
  Files& t = files();
  std::lock_guard<std::mutex> guard(t.lock);
  t.open.insert(file);
  SetLastError(ERROR_SUCCESS);
  return file;
}

BOOL WINAPI GetFileSizeEx(HANDLE handle, PLARGE_INTEGER size) {
  File* file = Find(handle);
  if (file == nullptr) return FALSE;
  struct stat status;
  if (size == nullptr || fstat(file->fd, &status) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  size->QuadPart = status.st_size;
  return TRUE;
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
  if (read != nullptr) *read = 0;
  File* file = Find(handle);
  if (file == nullptr) return FALSE;
  if (overlapped != nullptr || (buffer == nullptr && toRead != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Whole reads as on Windows: up to the count or the end of the file.
  DWORD total = 0;
  while (total < toRead) {
    const ssize_t got = ::read(file->fd, static_cast<char*>(buffer) + total, toRead - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      SetLastError(ErrorOf(errno));
      return FALSE;
    }
    if (got == 0) break;
    total += static_cast<DWORD>(got);
  }
  if (read != nullptr) *read = total;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  File* file = nullptr;
  {
    Files& t = files();
    std::lock_guard<std::mutex> guard(t.lock);
    const auto it = t.open.find(static_cast<File*>(handle));
    if (it != t.open.end()) {
      file = *it;
      t.open.erase(it);
    }
  }
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  close(file->fd);
  delete file;
  return TRUE;
}
