// The I/O floor of a registration run: what no implementation can avoid.
//
// Reads every catalogue the tool reads, once (each content folder's two
// catalogues and the host's two), and writes each host catalogue once, the
// way the tool replaces a file: a temporary file beside it, written, flushed
// to disk, renamed over the original, and the directory flushed. The bytes
// written are the bytes read, so a run leaves the host as it was.
//
// Usage: extmerge_io_floor <host directory>
// The benchmark runner times this program exactly as it times the tool.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool ReadAll(const std::string& path, std::string& out) {
  out.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool SyncDir(const std::string& dir) {
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

bool ReplaceAtomically(const std::string& path, const std::string& bytes) {
  std::string dir = path.substr(0, path.find_last_of('/'));
  struct stat st {};
  mode_t mode = stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  std::string temp = path + ".floor-tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bool ok = done == bytes.size() && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), path.c_str()) == 0 && SyncDir(dir);
  if (!ok) unlink(temp.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <host directory>\n", argv[0]);
    return 2;
  }
  std::string host = argv[1];
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  const std::string catalogues[2][2] = {{"/Data/Template/Template.dat", "/Template.dat"},
                                        {"/Data/Backgrnd/BackGrnd.dat", "/BackGrnd.dat"}};

  std::string host_bytes[2];
  for (int i = 0; i < 2; ++i) {
    if (!ReadAll(host + catalogues[i][0], host_bytes[i])) {
      std::fprintf(stderr, "cannot read %s\n", (host + catalogues[i][0]).c_str());
      return 1;
    }
  }

  std::string contents = host + "/Data/ExtContents";
  std::vector<std::string> folders;
  if (DIR* d = opendir(contents.c_str())) {
    while (dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        folders.emplace_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(folders.begin(), folders.end());
  std::string scratch;
  size_t total = 0;
  for (const std::string& f : folders) {
    for (int i = 0; i < 2; ++i) {
      if (ReadAll(contents + "/" + f + catalogues[i][1], scratch)) total += scratch.size();
    }
  }

  for (int i = 0; i < 2; ++i) {
    if (!ReplaceAtomically(host + catalogues[i][0], host_bytes[i])) {
      std::fprintf(stderr, "cannot write %s\n", (host + catalogues[i][0]).c_str());
      return 1;
    }
  }
  std::printf("%zu folders, %zu content bytes\n", folders.size(), total);
  return 0;
}
