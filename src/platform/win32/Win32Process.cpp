// Process, user interface, string resources and registry of the Windows
// layer, and the factory of this build's platform.
#include <algorithm>

#include "main/CommandLine.h"
#include "platform/SystemPlatform.h"
#include "platform/win32/Win32Platform.h"

namespace extmerge {

namespace win32 {

std::vector<std::string> Win32Platform::CommandParameters() {
  // The system's own command line rather than the C run-time's argv: the
  // tool's parameter rules are its own (see SplitCommandLine).
  const char* line = GetCommandLineA();
  std::vector<std::string> all = SplitCommandLine(line ? line : "");
  if (!all.empty()) all.erase(all.begin());
  return all;
}

std::string Win32Platform::ModuleFileName() {
  // The API cuts the path to the buffer without saying so other than by
  // filling it completely; grow until the path fits.
  std::string buf(MAX_PATH + 1, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    if (buf.size() >= 0x100000) return std::string();  // no path is this long
    buf.resize(buf.size() * 2);
  }
}

void Win32Platform::SetFailCriticalErrors() { SetErrorMode(SEM_FAILCRITICALERRORS); }

int Win32Platform::ShowMessageBox(const std::string& text, const std::string& caption,
                                  uint32_t style) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

std::string Win32Platform::LoadResString(int id) {
  // With a buffer length of 0 the system hands out a pointer to the text in
  // the loaded resource itself (counted, not NUL-terminated): no buffer to
  // size, no text ever cut.
  const wchar_t* text = nullptr;
  int n = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id),
                      reinterpret_cast<LPWSTR>(&text), 0);
  if (n <= 0 || text == nullptr) return std::string();
  return WideToMultiByte(CP_ACP, std::wstring_view(text, static_cast<size_t>(n)));
}

std::optional<std::string> Win32Platform::ReadClassesRootDefault(const std::string& subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::optional<std::string> result;
  std::string buf(MAX_PATH + 1, '\0');
  for (;;) {
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buf.size());
    LONG rc =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
    if (rc == ERROR_MORE_DATA) {
      // The value may change between calls; ask again with what it needs now.
      buf.resize(std::max<size_t>(static_cast<size_t>(size) + 1, buf.size() * 2));
      continue;
    }
    if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
      buf.resize(std::min<size_t>(size, buf.size()));
      // The text ends at its first NUL (stored values usually carry one).
      size_t nul = buf.find('\0');
      if (nul != std::string::npos) buf.resize(nul);
      result = std::move(buf);
    }
    break;
  }
  RegCloseKey(key);
  return result;
}

bool Win32Platform::MayWriteMachineSettings() {
  // Read and write access to the machine-wide uninstall key (query and set
  // value, create and enumerate subkeys, notify, read control): only users
  // who may change machine settings get it. Nothing is read or written.
  constexpr REGSAM kReadWrite = 0x2001F;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                    0, kReadWrite, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

}  // namespace win32

std::unique_ptr<Platform> MakeSystemPlatform(int, char**) {
  return std::make_unique<win32::Win32Platform>();
}

}  // namespace extmerge
