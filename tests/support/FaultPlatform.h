// A platform decorator that makes one chosen write, flush, close, rename or
// temporary-file creation fail, or stops the "process" there.
//
// Wraps any Platform (the in-memory fake or the real one of this build) and
// passes every call through. Each call that changes what is on disk is a
// fault point, numbered in the order the tool makes them; a test first counts
// the points of an undisturbed run and then arms each one in turn.
//
// A stop models a crash or power loss at that instant: the call throws
// ProcessStopped, which is deliberately not an Exception (nor any
// std::exception), so no handler of the tool catches it. From then on every
// further change is refused without effect, so that clean-up code running
// while the stack unwinds cannot tidy up what a real crash would leave
// behind. A stopped Append writes the first half of its bytes (a torn
// write).
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace extmerge::test {

// Thrown at a stop point; never derived from std::exception.
struct ProcessStopped {
  std::string point;
};

class FaultPlatform : public Platform {
 public:
  enum class Mode { kFail, kStop };

  explicit FaultPlatform(Platform& inner) : inner_(&inner) {}

  // The point with this 0-based number (counted from construction) fails or
  // stops; every other point passes.
  void Arm(int point, Mode mode) {
    armed_ = point;
    mode_ = mode;
  }

  // --- observations ---
  // Every fault point reached, e.g. "append C:\x.tmp1", "rename a b".
  const std::vector<std::string>& Points() const { return points_; }
  bool Stopped() const { return stopped_; }
  bool Fired() const { return fired_; }
  // For every rename target: the bytes of each file renamed onto it, in
  // order (the states a complete save produced). Filled only when the bytes
  // can be read back through the inner platform.
  std::map<std::string, std::vector<std::string>> saved_states;
  // "lock P", "unlock P", "read P", "rename FROM TO", "remove P" and
  // "message", in order.
  std::vector<std::string> trace;

  // --- set-up ---
  // Locks another run holds for good: LockPath gives nothing for them.
  std::set<std::string> busy_locks;

  // --- Platform: pass-through ---
  std::vector<std::string> CommandParameters() override { return inner_->CommandParameters(); }
  std::string ModuleFileName() override { return inner_->ModuleFileName(); }
  void SetFailCriticalErrors() override { inner_->SetFailCriticalErrors(); }
  int ShowMessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  std::string LoadResString(int id) override { return inner_->LoadResString(id); }
  std::optional<std::string> ReadClassesRootDefault(const std::string& subkey) override {
    return inner_->ReadClassesRootDefault(subkey);
  }
  bool MayWriteMachineSettings() override { return inner_->MayWriteMachineSettings(); }
  CodePageInfo AnsiCodePageInfo() override { return inner_->AnsiCodePageInfo(); }
  const Collation& UserCollation() override { return inner_->UserCollation(); }
  std::optional<uint32_t> FileAttributesOf(const std::string& path) override {
    return inner_->FileAttributesOf(path);
  }
  ListStatus ListDirectory(const std::string& dir, std::vector<DirEntry>& out) override {
    return inner_->ListDirectory(dir, out);
  }
  ReadStatus ReadWholeFile(const std::string& path, std::string& out) override {
    trace.push_back("read " + path);
    return inner_->ReadWholeFile(path, out);
  }
  std::string ResolveWriteTarget(const std::string& path) override {
    return inner_->ResolveWriteTarget(path);
  }
  bool IsWritable(const std::string& path) override { return inner_->IsWritable(path); }
  std::unique_ptr<FileLock> LockPath(const std::string& path, int timeout_ms) override;

  // --- Platform: fault points ---
  std::unique_ptr<WritableFile> CreateTempBeside(const std::string& target,
                                                 std::string& temp_path) override;
  std::unique_ptr<WritableFile> OpenForOverwrite(const std::string& path) override;
  bool RenameReplacing(const std::string& from, const std::string& to) override;
  bool RemovePath(const std::string& path) override;

  // What a fault point decides: go on, fail, or (throws) stop.
  enum class Verdict { kPass, kFail };
  Verdict Reach(const std::string& point);
  // After a stop nothing changes any more.
  bool Frozen() const { return stopped_; }

 private:
  Platform* inner_;
  int armed_ = -1;
  Mode mode_ = Mode::kFail;
  bool fired_ = false;
  bool stopped_ = false;
  std::vector<std::string> points_;
};

}  // namespace extmerge::test
