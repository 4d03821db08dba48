// Process entry of both builds. The Windows build is a GUI-subsystem program
// (no console); mingw's start-up code calls main() for it as well.
#include "main/RunControl.h"
#include "platform/SystemPlatform.h"

int main(int argc, char** argv) {
  std::unique_ptr<extmerge::Platform> platform = extmerge::MakeSystemPlatform(argc, argv);
  return extmerge::ProgramMain(*platform);
}
