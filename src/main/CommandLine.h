// The command-line rules of the tool, as a pure function so that both builds
// test the very same code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace extmerge {

// Splits a Windows command line into parameters: separated by runs of bytes
// 0x01-0x20; double quotes open and close stretches in which those bytes
// belong to the parameter, and are dropped; empty pairs of quotes at the
// start of a parameter are passed over. Element 0 is the program's own name.
// The result stops before the first parameter (after the program name) that
// comes out empty. No length limit.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// argv-style parameters (after the program name) up to the first empty one.
std::vector<std::string> ParametersUntilEmpty(const std::vector<std::string>& args);

}  // namespace extmerge
