#include "support/FaultPlatform.h"

namespace extmerge::test {

namespace {

class FaultFile : public WritableFile {
 public:
  FaultFile(FaultPlatform& owner, std::unique_ptr<WritableFile> inner, std::string path)
      : owner_(&owner), inner_(std::move(inner)), path_(std::move(path)) {}

  bool Append(std::string_view bytes) override {
    if (owner_->Frozen()) return false;
    try {
      if (owner_->Reach("append " + path_) == FaultPlatform::Verdict::kFail) return false;
    } catch (const ProcessStopped&) {
      // The write was under way when the process died: part of it landed.
      inner_->Append(bytes.substr(0, bytes.size() / 2));
      throw;
    }
    return inner_->Append(bytes);
  }
  bool Sync() override { return Point("sync ") && inner_->Sync(); }
  bool Close() override { return Point("close ") && inner_->Close(); }

 private:
  bool Point(const char* what) {
    if (owner_->Frozen()) return false;
    return owner_->Reach(what + path_) == FaultPlatform::Verdict::kPass;
  }

  FaultPlatform* owner_;
  std::unique_ptr<WritableFile> inner_;
  std::string path_;
};

class TracedLock : public FileLock {
 public:
  TracedLock(std::unique_ptr<FileLock> inner, std::vector<std::string>& trace, std::string path)
      : inner_(std::move(inner)), trace_(&trace), path_(std::move(path)) {}
  ~TracedLock() override { trace_->push_back("unlock " + path_); }

 private:
  std::unique_ptr<FileLock> inner_;
  std::vector<std::string>* trace_;
  std::string path_;
};

}  // namespace

std::unique_ptr<FileLock> FaultPlatform::LockPath(const std::string& path, int timeout_ms) {
  trace.push_back("lock " + path);
  if (busy_locks.count(path)) return nullptr;
  std::unique_ptr<FileLock> lock = inner_->LockPath(path, timeout_ms);
  if (!lock) return nullptr;
  return std::make_unique<TracedLock>(std::move(lock), trace, path);
}

FaultPlatform::Verdict FaultPlatform::Reach(const std::string& point) {
  const int number = static_cast<int>(points_.size());
  points_.push_back(point);
  if (number != armed_) return Verdict::kPass;
  fired_ = true;
  if (mode_ == Mode::kFail) return Verdict::kFail;
  stopped_ = true;
  throw ProcessStopped{point};
}

int FaultPlatform::ShowMessageBox(const std::string& text, const std::string& caption,
                                  uint32_t style) {
  if (stopped_) return 0;
  trace.push_back("message");
  return inner_->ShowMessageBox(text, caption, style);
}

std::unique_ptr<WritableFile> FaultPlatform::CreateTempBeside(const std::string& target,
                                                              std::string& temp_path) {
  if (stopped_ || Reach("create-temp " + target) == Verdict::kFail) return nullptr;
  std::unique_ptr<WritableFile> file = inner_->CreateTempBeside(target, temp_path);
  if (!file) return nullptr;
  return std::make_unique<FaultFile>(*this, std::move(file), temp_path);
}

std::unique_ptr<WritableFile> FaultPlatform::OpenForOverwrite(const std::string& path) {
  if (stopped_ || Reach("overwrite " + path) == Verdict::kFail) return nullptr;
  std::unique_ptr<WritableFile> file = inner_->OpenForOverwrite(path);
  if (!file) return nullptr;
  return std::make_unique<FaultFile>(*this, std::move(file), path);
}

bool FaultPlatform::RenameReplacing(const std::string& from, const std::string& to) {
  if (stopped_ || Reach("rename " + from + " " + to) == Verdict::kFail) return false;
  if (!inner_->RenameReplacing(from, to)) return false;
  trace.push_back("rename " + from + " " + to);
  std::string bytes;
  if (inner_->ReadWholeFile(to, bytes) == ReadStatus::kOk) saved_states[to].push_back(bytes);
  return true;
}

bool FaultPlatform::RemovePath(const std::string& path) {
  if (stopped_) return false;
  trace.push_back("remove " + path);
  return inner_->RemovePath(path);
}

}  // namespace extmerge::test
