// Entry and run control: whether to run at all, the rights probe, the scan,
// and the one message box at the end. The only place failures are caught.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace extmerge {

constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbIconError = 0x10;

// The whole program after the system's start-up; returns the exit status (0).
int ProgramMain(Platform& platform);

// Rights probe, scan and final message.
void Run(Platform& platform);
bool HasWriteAccess(Platform& platform);
int ShowNotice(Platform& platform, const std::string& text, uint32_t type);
// The caption: last component of the program's path, without its extension.
std::string CaptionFromModulePath(std::string_view module_path);

}  // namespace extmerge
