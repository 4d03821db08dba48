// File system of the Windows layer.
//
// Read-only files: the system refuses to write, replace or truncate them for
// every user on Windows, but a compatibility layer running as a superuser
// does not; the attribute is therefore checked here, so that the tool behaves
// the same wherever it runs.
#include <atomic>

#include "platform/SystemPlatform.h"
#include "platform/win32/Win32Platform.h"

namespace extmerge::win32 {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Attribute bits SetFileAttributesA accepts.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsNotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Position of the last path separator ("\" or "/") that is a character of
// its own, not the second byte of a double-byte character; npos if none.
size_t LastSeparator(std::string_view path) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < path.size();) {
    size_t len = CharLengthAt(path, i);
    if (len == 1 && (path[i] == '\\' || path[i] == '/')) last = i;
    i += len;
  }
  return last;
}

bool EndsWithSeparator(std::string_view path) {
  return !path.empty() && LastSeparator(path) == path.size() - 1;
}

// The directory that holds `path`, in a form the system accepts on its own
// ("C:\" rather than "C:", "." for a bare name).
std::string DirectoryOf(const std::string& path) {
  size_t sep = LastSeparator(path);
  if (sep == std::string::npos) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);  // "C:name"
    return ".";
  }
  if (sep == 0 || (sep == 2 && path[1] == ':')) return path.substr(0, sep + 1);
  return path.substr(0, sep);
}

class HandleFile : public WritableFile {
 public:
  explicit HandleFile(HANDLE h) : handle_(h) {}
  ~HandleFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }

  bool Append(std::string_view bytes) override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    while (!bytes.empty()) {
      DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
      DWORD written = 0;
      if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
      bytes.remove_prefix(written);
    }
    return true;
  }

  bool Sync() override { return handle_ != INVALID_HANDLE_VALUE && FlushFileBuffers(handle_); }

  bool Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    BOOL ok = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return ok != FALSE;
  }

 private:
  HANDLE handle_;
};

class HandleLock : public FileLock {
 public:
  explicit HandleLock(HANDLE h) : handle_(h) {}
  ~HandleLock() override {
    OVERLAPPED at{};
    UnlockFileEx(handle_, 0, 1, 0, &at);
    CloseHandle(handle_);  // the sidecar goes with the last handle
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::optional<uint32_t> Win32Platform::FileAttributesOf(const std::string& path) {
  DWORD attrs = GetFileAttributesA(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attrs;
}

ListStatus Win32Platform::ListDirectory(const std::string& dir, std::vector<DirEntry>& out) {
  out.clear();
  std::string pattern = dir;
  if (!EndsWithSeparator(pattern)) pattern += '\\';
  pattern += "*.*";
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    return IsNotFound(GetLastError()) ? ListStatus::kNotFound : ListStatus::kFailed;
  }
  ListStatus status = ListStatus::kOk;
  for (;;) {
    out.push_back({data.cFileName, data.dwFileAttributes});
    if (!FindNextFileA(find, &data)) {
      if (GetLastError() != ERROR_NO_MORE_FILES) status = ListStatus::kFailed;
      break;
    }
  }
  FindClose(find);
  if (status != ListStatus::kOk) out.clear();
  return status;
}

ReadStatus Win32Platform::ReadWholeFile(const std::string& path, std::string& out) {
  out.clear();
  DWORD attrs = GetFileAttributesA(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    return IsNotFound(GetLastError()) ? ReadStatus::kNotFound : ReadStatus::kFailed;
  }
  if (attrs & FILE_ATTRIBUTE_DIRECTORY) return ReadStatus::kIsDirectory;
  // Others may keep the file open for writing (the host itself, an editor):
  // reading must not fail because of them.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return IsNotFound(GetLastError()) ? ReadStatus::kNotFound : ReadStatus::kFailed;
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(h, &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 31)) {
    out.reserve(static_cast<size_t>(size.QuadPart));
  }
  // Read to the end rather than to the size seen: the file may still grow.
  std::string chunk(64 * 1024, '\0');
  ReadStatus status = ReadStatus::kOk;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(h, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
      status = ReadStatus::kFailed;
      break;
    }
    if (got == 0) break;
    out.append(chunk.data(), got);
  }
  CloseHandle(h);
  if (status != ReadStatus::kOk) out.clear();
  return status;
}

std::string Win32Platform::ResolveWriteTarget(const std::string& path) {
  // Only a reparse point (a symbolic link) is written through to its target;
  // every other path stays exactly as given.
  DWORD attrs = GetFileAttributesA(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
  HANDLE h = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;
  std::string buf(MAX_PATH + 1, '\0');
  DWORD n = 0;
  for (;;) {
    n = GetFinalPathNameByHandleA(h, buf.data(), static_cast<DWORD>(buf.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= buf.size()) {
      buf.resize(static_cast<size_t>(n) + 1);  // n is the size needed
      continue;
    }
    break;
  }
  CloseHandle(h);
  if (n == 0) return path;
  buf.resize(n);
  // "\\?\C:\dir\file" -> "C:\dir\file"; keep the prefix for other forms
  // (network paths), which need it to stay valid.
  if (buf.rfind("\\\\?\\", 0) == 0 && buf.size() > 6 && buf[5] == ':') buf.erase(0, 4);
  return buf;
}

std::unique_ptr<WritableFile> Win32Platform::CreateTempBeside(const std::string& target,
                                                              std::string& temp_path) {
  // "<target>.extmerge-<pid>-<n>.tmp": same directory (so the final rename
  // stays on one volume), an extension the host never reads, and a name no
  // other run of the tool picks at the same time.
  static std::atomic<unsigned> counter{0};
  const DWORD pid = GetCurrentProcessId();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = target + ".extmerge-" + std::to_string(pid) + "-" +
                            std::to_string(counter.fetch_add(1)) + ".tmp";
    HANDLE h = CreateFileA(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      temp_path = candidate;
      return std::make_unique<HandleFile>(h);
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  temp_path.clear();
  return nullptr;
}

std::unique_ptr<WritableFile> Win32Platform::OpenForOverwrite(const std::string& path) {
  DWORD attrs = GetFileAttributesA(path.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES &&
      (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return nullptr;
  }
  // OPEN_ALWAYS and an explicit truncation rather than CREATE_ALWAYS, which
  // refuses hidden and system files unless told their attributes again.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (!SetEndOfFile(h)) {
    CloseHandle(h);
    return nullptr;
  }
  return std::make_unique<HandleFile>(h);
}

bool Win32Platform::RenameReplacing(const std::string& from, const std::string& to) {
  DWORD old_attrs = GetFileAttributesA(to.c_str());
  if (old_attrs != INVALID_FILE_ATTRIBUTES &&
      (old_attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return false;
  }
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  // The replacement carries the temporary file's attributes; give the file
  // back the ones it had (hidden, system, archive ...).
  if (old_attrs != INVALID_FILE_ATTRIBUTES) {
    DWORD now = GetFileAttributesA(to.c_str());
    DWORD want = old_attrs & kSettableAttributes;
    if (now == INVALID_FILE_ATTRIBUTES || (now & kSettableAttributes) != want) {
      SetFileAttributesA(to.c_str(), want ? want : FILE_ATTRIBUTE_NORMAL);
    }
  }
  return true;
}

bool Win32Platform::RemovePath(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool Win32Platform::IsWritable(const std::string& path) {
  DWORD attrs = GetFileAttributesA(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    DWORD dir = GetFileAttributesA(DirectoryOf(path).c_str());
    return dir != INVALID_FILE_ATTRIBUTES && (dir & FILE_ATTRIBUTE_DIRECTORY);
  }
  if (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return false;
  // A file another program holds open without sharing cannot be written
  // either: try it, and close at once without writing anything.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

std::unique_ptr<FileLock> Win32Platform::LockPath(const std::string& path, int timeout_ms) {
  // A sidecar file carries the lock, so that it is tied to the path and
  // survives the file itself being replaced. It disappears with the last
  // handle; while it is being deleted, opening it fails for a moment, which
  // counts as "not had yet".
  const std::string lock_path = path + ".lock";
  const ULONGLONG deadline =
      GetTickCount64() + static_cast<ULONGLONG>(timeout_ms > 0 ? timeout_ms : 0);
  for (;;) {
    HANDLE h = CreateFileA(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      OVERLAPPED at{};
      if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        return std::make_unique<HandleLock>(h);
      }
      CloseHandle(h);
    } else if (GetLastError() == ERROR_PATH_NOT_FOUND) {
      return nullptr;  // no directory to lock in: waiting will not help
    }
    if (GetTickCount64() >= deadline) return nullptr;
    Sleep(20);
  }
}

}  // namespace extmerge::win32
