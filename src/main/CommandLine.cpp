#include "main/CommandLine.h"

#include "Sysutil.h"

namespace extmerge {

namespace {

bool IsSeparator(unsigned char b) { return b >= 0x01 && b <= 0x20; }

// Reads one parameter starting at pos; returns the position after it.
size_t ReadParameter(std::string_view line, size_t pos, std::string& param) {
  param.clear();
  // Skip separators and empty pairs of quotes, as often as they come.
  for (;;) {
    while (pos < line.size() && IsSeparator(static_cast<unsigned char>(line[pos]))) ++pos;
    if (pos + 1 < line.size() && line[pos] == '"' && line[pos + 1] == '"') {
      pos += 2;
      continue;
    }
    break;
  }
  bool quoted = false;
  while (pos < line.size()) {
    unsigned char b = static_cast<unsigned char>(line[pos]);
    if (b == 0) break;  // a NUL ends the command line
    if (!quoted && IsSeparator(b)) break;
    if (b == '"') {
      quoted = !quoted;
      ++pos;
      continue;
    }
    // A double-byte character is copied whole, so its second byte is never
    // taken for a quote or a separator.
    size_t len = CharLengthAt(line, pos);
    // Nor is a NUL after a lead byte taken into the parameter.
    if (len == 2 && line[pos + 1] == '\0') len = 1;
    param.append(line.substr(pos, len));
    pos += len;
  }
  return pos;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::vector<std::string> result;
  std::string param;
  size_t pos = ReadParameter(command_line, 0, param);
  result.push_back(param);  // the program's own name, even when empty
  for (;;) {
    pos = ReadParameter(command_line, pos, param);
    if (param.empty()) break;
    result.push_back(param);
  }
  return result;
}

std::vector<std::string> ParametersUntilEmpty(const std::vector<std::string>& args) {
  std::vector<std::string> result;
  for (const std::string& a : args) {
    if (a.empty()) break;
    result.push_back(a);
  }
  return result;
}

}  // namespace extmerge
