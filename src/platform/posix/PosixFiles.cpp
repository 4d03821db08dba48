// File system stand-ins of the posix layer. Paths arrive as the tool's text
// (code page 932, "\" or "/" separators) and are mapped to native names
// where they touch the disk; paths handed back are native names converted to
// code page 932, "/" separated.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unicode/uchar.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/SystemPlatform.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/PosixText.h"

namespace extmerge::posix {

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel allows

// "dir/name" -> "dir/", "name" -> "".
std::string DirPart(const std::string& native) {
  size_t slash = native.rfind('/');
  return slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
}

std::string NamePart(std::string native) {
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  size_t slash = native.rfind('/');
  return slash == std::string::npos ? native : native.substr(slash + 1);
}

std::string DirOrCurrent(std::string dir) { return dir.empty() ? "." : dir; }

uint32_t AttributesFromStat(const struct stat& st, std::string_view name) {
  uint32_t attrs = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  // No write bit for anyone: read-only as Windows sees it.
  if ((st.st_mode & 0222) == 0) attrs |= kAttrReadOnly;
  if (!name.empty() && name.front() == '.' && name != "." && name != "..") attrs |= kAttrHidden;
  return attrs;
}

class FdFile : public WritableFile {
 public:
  explicit FdFile(int fd) : fd_(fd) {}
  ~FdFile() override {
    if (fd_ >= 0) close(fd_);
  }
  FdFile(const FdFile&) = delete;
  FdFile& operator=(const FdFile&) = delete;

  bool Append(std::string_view bytes) override {
    if (fd_ < 0) return false;
    while (!bytes.empty()) {
      ssize_t n = write(fd_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  bool Sync() override { return fd_ >= 0 && fsync(fd_) == 0; }

  bool Close() override {
    if (fd_ < 0) return true;
    int r = close(fd_);
    fd_ = -1;
    // After close() fails the descriptor is gone all the same (Linux); the
    // data may not have been written.
    return r == 0;
  }

 private:
  int fd_;
};

class FlockLock : public FileLock {
 public:
  explicit FlockLock(int fd) : fd_(fd) {}
  ~FlockLock() override { close(fd_); }  // releases the lock
  FlockLock(const FlockLock&) = delete;
  FlockLock& operator=(const FlockLock&) = delete;

 private:
  int fd_;
};

// At most this many bytes of the target's name go into a temporary file's
// name, so that the name stays within the file system's limit.
constexpr size_t kMaxNameInTemp = 200;

std::string ShortenUtf8(std::string name) {
  if (name.size() <= kMaxNameInTemp) return name;
  size_t cut = kMaxNameInTemp;
  // Do not end inside a multibyte sequence.
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  name.resize(cut);
  return name;
}

}  // namespace

ReadStatus ReadNativeFile(const std::string& native_path, std::string& out) {
  int fd = open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return ReadStatus::kNotFound;
    if (errno == EISDIR) return ReadStatus::kIsDirectory;
    return ReadStatus::kFailed;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return ReadStatus::kFailed;
  }
  if (S_ISDIR(st.st_mode)) {
    close(fd);
    return ReadStatus::kIsDirectory;
  }
  std::string data;
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
  constexpr size_t kChunk = 64 * 1024;
  for (;;) {
    size_t old = data.size();
    data.resize(old + kChunk);
    ssize_t n = read(fd, data.data() + old, kChunk);
    if (n < 0 && errno == EINTR) {
      data.resize(old);
      continue;
    }
    if (n < 0) {
      close(fd);
      return ReadStatus::kFailed;
    }
    data.resize(old + static_cast<size_t>(n));
    if (n == 0) break;
  }
  close(fd);
  out = std::move(data);
  return ReadStatus::kOk;
}

std::u16string ListingKey(std::string_view utf8_name) {
  std::u16string key;
  Utf8ToUtf16KeepBytes(utf8_name, key);
  for (char16_t& unit : key) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;  // surrogates have no case
    UChar32 upper = u_toupper(unit);
    if (upper <= 0xFFFF) unit = static_cast<char16_t>(upper);
  }
  return key;
}

std::optional<uint32_t> PosixPlatform::FileAttributesOf(const std::string& path) {
  std::string native = NativePath(path);
  struct stat st;
  if (native.empty() || stat(native.c_str(), &st) != 0) return std::nullopt;
  return AttributesFromStat(st, NamePart(native));
}

ListStatus PosixPlatform::ListDirectory(const std::string& dir, std::vector<DirEntry>& out) {
  out.clear();
  std::string native = NativePath(dir);
  DIR* d = native.empty() ? nullptr : opendir(native.c_str());
  if (d == nullptr) {
    if (native.empty() || errno == ENOENT || errno == ENOTDIR) return ListStatus::kNotFound;
    return ListStatus::kFailed;
  }
  struct Listed {
    int rank;  // "." first, ".." second, then everything else
    std::u16string key;
    std::string native_name;
    DirEntry entry;
  };
  std::vector<Listed> listed;
  bool has_dot = false, has_dotdot = false;
  int fd = dirfd(d);
  for (;;) {
    errno = 0;
    struct dirent* ent = readdir(d);
    if (ent == nullptr) {
      if (errno != 0) {
        closedir(d);
        return ListStatus::kFailed;
      }
      break;
    }
    std::string name = ent->d_name;
    struct stat st;
    uint32_t attrs;
    if (fstatat(fd, name.c_str(), &st, 0) == 0 ||
        fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      attrs = AttributesFromStat(st, name);
    } else {
      attrs = kAttrArchive;
    }
    int rank = name == "." ? 0 : name == ".." ? 1 : 2;
    has_dot |= rank == 0;
    has_dotdot |= rank == 1;
    listed.push_back({rank, ListingKey(name), name, {ToolText(name), attrs}});
  }
  closedir(d);
  if (!has_dot) listed.push_back({0, u".", ".", {".", kAttrDirectory}});
  if (!has_dotdot) listed.push_back({1, u"..", "..", {"..", kAttrDirectory}});
  std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    if (a.key != b.key) return a.key < b.key;
    return a.native_name < b.native_name;  // names that differ only in case
  });
  out.reserve(listed.size());
  for (Listed& l : listed) out.push_back(std::move(l.entry));
  return ListStatus::kOk;
}

ReadStatus PosixPlatform::ReadWholeFile(const std::string& path, std::string& out) {
  return ReadNativeFile(NativePath(path), out);
}

std::string PosixPlatform::ResolveWriteTarget(const std::string& path) {
  const std::string native = NativePath(path);
  std::string current = native;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string link(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 256, '\0');
    ssize_t n;
    while ((n = readlink(current.c_str(), link.data(), link.size())) >= 0 &&
           static_cast<size_t>(n) >= link.size())
      link.resize(link.size() * 2);
    if (n < 0) break;
    link.resize(static_cast<size_t>(n));
    current = link.front() == '/' ? link : DirPart(current) + link;
  }
  return current == native ? path : ToolText(current);
}

std::unique_ptr<WritableFile> PosixPlatform::CreateTempBeside(const std::string& target,
                                                              std::string& temp_path) {
  const std::string native = NativePath(target);
  // A dot name with a suffix of its own: the host never reads it as a
  // catalogue, and a left-over one is easy to recognise.
  std::string templ =
      DirPart(native) + "." + ShortenUtf8(NamePart(native)) + ".extmerge-XXXXXX.tmp";
  int fd = mkostemps(templ.data(), 4, O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (stat(native.c_str(), &st) == 0) {
    // Keep the owner where we may (root); then the permission bits.
    if (geteuid() == 0 && fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Not fatal: the file then belongs to us.
    }
    fchmod(fd, st.st_mode & 07777);
  } else {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  temp_path = ToolText(templ);
  return std::make_unique<FdFile>(fd);
}

std::unique_ptr<WritableFile> PosixPlatform::OpenForOverwrite(const std::string& path) {
  int fd = open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  return std::make_unique<FdFile>(fd);
}

bool PosixPlatform::RenameReplacing(const std::string& from, const std::string& to) {
  const std::string native_to = NativePath(to);
  if (rename(NativePath(from).c_str(), native_to.c_str()) != 0) return false;
  // The new directory entry must reach the disk too.
  int dir = open(DirOrCurrent(DirPart(native_to)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return true;  // cannot open it to sync; the rename itself is done
  bool ok = fsync(dir) == 0 || errno != EIO;
  close(dir);
  return ok;
}

bool PosixPlatform::RemovePath(const std::string& path) {
  const std::string native = NativePath(path);
  if (unlink(native.c_str()) == 0) return true;
  if (errno == EISDIR || errno == EPERM) return rmdir(native.c_str()) == 0;
  return false;
}

bool PosixPlatform::IsWritable(const std::string& path) {
  const std::string native = NativePath(path);
  struct stat st;
  if (stat(native.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return false;
    return (st.st_mode & 0222) != 0 && access(native.c_str(), W_OK) == 0;
  }
  if (errno != ENOENT) return false;
  const std::string dir = DirOrCurrent(DirPart(native));
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         access(dir.c_str(), W_OK | X_OK) == 0;
}

std::unique_ptr<FileLock> PosixPlatform::LockPath(const std::string& path, int timeout_ms) {
  // A lock file of its own beside the path: the path's file itself is
  // replaced by renames, which would leave a lock on it behind.
  const std::string lock = NativePath(path) + ".lock";
  int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC);  // exists, not ours to write
  if (fd < 0) return nullptr;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return std::make_unique<FlockLock>(fd);
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    Clock::time_point now = Clock::now();
    if (now >= deadline) break;
    std::this_thread::sleep_for(
        std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(10)));
  }
  close(fd);
  return nullptr;
}

}  // namespace extmerge::posix
