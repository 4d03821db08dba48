// File system of the Windows layer.
//
// Read-only files: the system refuses to write, replace or truncate them for
// every user on Windows, but a compatibility layer running as a superuser
// does not; the attribute is therefore checked here, so that the tool behaves
// the same wherever it runs.
//
// Paths of any length: the ANSI functions take a path of at most MAX_PATH - 1
// characters. A path shorter than MAX_PATH bytes (and so shorter than MAX_PATH
// characters, whatever it holds) goes to them as it is; a longer one goes, in
// its long form, to the wide functions, which take up to 32767 characters (see
// LongForm). Every call with a path therefore goes through the helpers below.
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

bool IsLong(const std::string& path) { return path.size() >= MAX_PATH; }

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// `path` as the wide functions take it without a length limit: in UTF-16,
// made what the system itself makes of a path before using it ("/" read as
// "\", "." and ".." resolved, a relative path completed with the current
// directory, trailing dots and spaces of the last name dropped), then with
// the prefix that switches that processing off: "C:\dir" -> "\\?\C:\dir",
// "\\server\share" -> "\\?\UNC\server\share". A path already in that
// form is taken as it is. False, with the last error set, when the path is
// not valid text in the ANSI code page or cannot be completed.
bool LongForm(const std::string& path, std::wstring& out) {
  std::wstring wide;
  if (!ToWideStrict(CP_ACP, path, wide) || wide.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  if (StartsWith(wide, L"\\\\?\\")) {
    out = std::move(wide);
    return true;
  }
  std::wstring full(wide.size() + MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return false;
    if (n >= full.size()) {  // n is the size needed
      full.resize(n);
      continue;
    }
    full.resize(n);
    break;
  }
  if (StartsWith(full, L"\\\\.\\")) {
    out = std::move(full);  // a device: no long form
  } else if (StartsWith(full, L"\\\\")) {
    out = L"\\\\?\\UNC\\" + full.substr(2);
  } else {
    out = L"\\\\?\\" + full;
  }
  return true;
}

DWORD AttributesAt(const std::string& path) {
  if (!IsLong(path)) return GetFileAttributesA(path.c_str());
  std::wstring wide;
  if (!LongForm(path, wide)) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(wide.c_str());
}

bool SetAttributesAt(const std::string& path, DWORD attrs) {
  if (!IsLong(path)) return SetFileAttributesA(path.c_str(), attrs) != FALSE;
  std::wstring wide;
  return LongForm(path, wide) && SetFileAttributesW(wide.c_str(), attrs) != FALSE;
}

HANDLE OpenAt(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (!IsLong(path)) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  }
  std::wstring wide;
  if (!LongForm(path, wide)) return INVALID_HANDLE_VALUE;
  return CreateFileW(wide.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

bool RemoveAt(const std::string& path) {
  if (!IsLong(path)) return DeleteFileA(path.c_str()) != FALSE;
  std::wstring wide;
  return LongForm(path, wide) && DeleteFileW(wide.c_str()) != FALSE;
}

bool MoveAt(const std::string& from, const std::string& to, DWORD flags) {
  if (!IsLong(from) && !IsLong(to)) return MoveFileExA(from.c_str(), to.c_str(), flags) != FALSE;
  std::wstring wide_from;
  std::wstring wide_to;
  return LongForm(from, wide_from) && LongForm(to, wide_to) &&
         MoveFileExW(wide_from.c_str(), wide_to.c_str(), flags) != FALSE;
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
  DWORD attrs = AttributesAt(path);
  if (attrs == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attrs;
}

ListStatus Win32Platform::ListDirectory(const std::string& dir, std::vector<DirEntry>& out) {
  out.clear();
  std::string pattern = dir;
  if (!EndsWithSeparator(pattern)) pattern += '\\';
  pattern += "*.*";
  // A long pattern is listed by the wide functions; their names are turned
  // into the ANSI code page the way the ANSI functions turn them.
  const bool wide = IsLong(pattern);
  WIN32_FIND_DATAA data;
  WIN32_FIND_DATAW wide_data;
  HANDLE find = INVALID_HANDLE_VALUE;
  if (!wide) {
    find = FindFirstFileA(pattern.c_str(), &data);
  } else if (std::wstring wide_pattern; LongForm(pattern, wide_pattern)) {
    find = FindFirstFileW(wide_pattern.c_str(), &wide_data);
  }
  if (find == INVALID_HANDLE_VALUE) {
    return IsNotFound(GetLastError()) ? ListStatus::kNotFound : ListStatus::kFailed;
  }
  ListStatus status = ListStatus::kOk;
  for (;;) {
    if (wide) {
      out.push_back({WideToMultiByte(CP_ACP, wide_data.cFileName), wide_data.dwFileAttributes});
    } else {
      out.push_back({data.cFileName, data.dwFileAttributes});
    }
    if (!(wide ? FindNextFileW(find, &wide_data) : FindNextFileA(find, &data))) {
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
  DWORD attrs = AttributesAt(path);
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    return IsNotFound(GetLastError()) ? ReadStatus::kNotFound : ReadStatus::kFailed;
  }
  if (attrs & FILE_ATTRIBUTE_DIRECTORY) return ReadStatus::kIsDirectory;
  // Others may keep the file open for writing (the host itself, an editor):
  // reading must not fail because of them.
  HANDLE h = OpenAt(path, GENERIC_READ, kShareAll, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
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
  DWORD attrs = AttributesAt(path);
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
  HANDLE h = OpenAt(path, 0, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
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
    HANDLE h = OpenAt(candidate, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
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
  DWORD attrs = AttributesAt(path);
  if (attrs != INVALID_FILE_ATTRIBUTES &&
      (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return nullptr;
  }
  // OPEN_ALWAYS and an explicit truncation rather than CREATE_ALWAYS, which
  // refuses hidden and system files unless told their attributes again.
  HANDLE h = OpenAt(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (!SetEndOfFile(h)) {
    CloseHandle(h);
    return nullptr;
  }
  return std::make_unique<HandleFile>(h);
}

bool Win32Platform::RenameReplacing(const std::string& from, const std::string& to) {
  DWORD old_attrs = AttributesAt(to);
  if (old_attrs != INVALID_FILE_ATTRIBUTES &&
      (old_attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return false;
  }
  if (!MoveAt(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  // The replacement carries the temporary file's attributes; give the file
  // back the ones it had (hidden, system, archive ...).
  if (old_attrs != INVALID_FILE_ATTRIBUTES) {
    DWORD now = AttributesAt(to);
    DWORD want = old_attrs & kSettableAttributes;
    if (now == INVALID_FILE_ATTRIBUTES || (now & kSettableAttributes) != want) {
      SetAttributesAt(to, want ? want : FILE_ATTRIBUTE_NORMAL);
    }
  }
  return true;
}

bool Win32Platform::RemovePath(const std::string& path) { return RemoveAt(path); }

bool Win32Platform::IsWritable(const std::string& path) {
  DWORD attrs = AttributesAt(path);
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    DWORD dir = AttributesAt(DirectoryOf(path));
    return dir != INVALID_FILE_ATTRIBUTES && (dir & FILE_ATTRIBUTE_DIRECTORY);
  }
  if (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return false;
  // A file another program holds open without sharing cannot be written
  // either: try it, and close at once without writing anything.
  HANDLE h = OpenAt(path, GENERIC_WRITE, kShareAll, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
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
    HANDLE h = OpenAt(lock_path, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE);
    if (h != INVALID_HANDLE_VALUE) {
      OVERLAPPED at{};
      if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        return std::make_unique<HandleLock>(h);
      }
      CloseHandle(h);
    } else if (DWORD error = GetLastError();
               error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) {
      return nullptr;  // no directory to lock in, or no such name: waiting will not help
    }
    if (GetTickCount64() >= deadline) return nullptr;
    Sleep(20);
  }
}

}  // namespace extmerge::win32
