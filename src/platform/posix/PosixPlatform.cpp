// Process, message, resource, registry and text stand-ins of the posix layer.
#include "platform/posix/PosixPlatform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "Resources.h"
#include "main/CommandLine.h"
#include "platform/SystemPlatform.h"
#include "platform/posix/IcuCollation.h"
#include "platform/posix/PosixText.h"
#include "platform/posix/RegistryFile.h"

namespace extmerge {

std::unique_ptr<Platform> MakeSystemPlatform(int argc, char** argv) {
  return std::make_unique<posix::PosixPlatform>(argc, argv);
}

namespace posix {

namespace {
constexpr uint32_t kIconMask = 0xF0;
constexpr uint32_t kIconError = 0x10;
constexpr int kButtonOk = 1;
}  // namespace

PosixPlatform::PosixPlatform(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc && argv != nullptr && argv[i] != nullptr; ++i)
    args.push_back(Utf8ToCp932(argv[i]));
  params_ = ParametersUntilEmpty(args);
}

PosixPlatform::~PosixPlatform() = default;

std::vector<std::string> PosixPlatform::CommandParameters() { return params_; }

std::string PosixPlatform::ModuleFileName() {
  std::string buf(256, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      return ToolText(buf);
    }
    buf.resize(buf.size() * 2);  // may have been cut: try again with more room
  }
}

int PosixPlatform::ShowMessageBox(const std::string& text, const std::string& caption,
                                  uint32_t style) {
  std::string line = Cp932ToUtf8(caption);
  line += ": ";
  if ((style & kIconMask) == kIconError) line += "error: ";
  line += Cp932ToUtf8(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return kButtonOk;
}

std::string PosixPlatform::LoadResString(int id) { return Utf8ToCp932(ResourceSourceText(id)); }

std::optional<std::string> PosixPlatform::ReadClassesRootDefault(const std::string& subkey) {
  const char* file = std::getenv(kRegistryVariable);
  if (file == nullptr || *file == '\0') return std::nullopt;
  std::string bytes;
  if (ReadNativeFile(file, bytes) != ReadStatus::kOk) return std::nullopt;
  std::string key = "HKEY_CLASSES_ROOT";
  if (!subkey.empty()) key += "\\" + subkey;
  return RegistryFile::Parse(bytes).DefaultValue(key);
}

bool PosixPlatform::MayWriteMachineSettings() {
  const char* file = std::getenv(kRegistryVariable);
  if (file == nullptr || *file == '\0') return false;
  struct stat st;
  if (stat(file, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  // No write bit at all is read-only for everyone, root included, as the
  // read-only attribute is on Windows.
  if ((st.st_mode & 0222) == 0) return false;
  return access(file, W_OK) == 0;
}

const Collation& PosixPlatform::UserCollation() {
  if (!collation_) collation_ = std::make_unique<IcuCollation>(UserCollationLocale());
  return *collation_;
}

}  // namespace posix
}  // namespace extmerge
