// Update locks over a whole run: each host catalogue is locked before it is
// first read and until after the run's final save, content-folder catalogues
// never; a lock another run holds ends the run with a message naming the
// catalogue, which stays as it was.
#include <gtest/gtest.h>

#include <algorithm>

#include "Resources.h"
#include "main/RunControl.h"
#include "support/FaultPlatform.h"
#include "support/SampleHost.h"

namespace extmerge {
namespace {

using test::BuildSampleHost;
using test::FakePlatform;
using test::FaultPlatform;
using test::kSampleBackground;
using test::kSampleTemplate;

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}
bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST(RunLocking, HostCataloguesAreLockedAroundReadMergeAndSave) {
  FakePlatform sys;
  BuildSampleHost(sys);
  FaultPlatform traced(sys);
  ProgramMain(traced);
  ASSERT_EQ(sys.messages.size(), 1u);
  ASSERT_EQ(sys.messages[0].text, sys.LoadResString(IDS_SUCCESS));
  const std::vector<std::string>& t = traced.trace;
  auto first = [&t](const std::string& event) {
    return std::find(t.begin(), t.end(), event) - t.begin();
  };
  const long message = first("message");
  for (const std::string& p : {kSampleTemplate, kSampleBackground}) {
    SCOPED_TRACE(p);
    EXPECT_EQ(std::count(t.begin(), t.end(), "lock " + p), 1) << "one lock for the whole run";
    const long lock = first("lock " + p);
    const long unlock = first("unlock " + p);
    const long read = first("read " + p);
    long last_save = -1;
    for (size_t i = 0; i < t.size(); ++i)
      if (StartsWith(t[i], "rename ") && EndsWith(t[i], " " + p)) last_save = static_cast<long>(i);
    ASSERT_GE(last_save, 0) << "the catalogue was saved";
    EXPECT_LT(lock, read);
    EXPECT_LT(last_save, unlock);
    EXPECT_LT(unlock, message) << "a message box left open must not hold up other runs";
  }
  for (const std::string& e : t) {
    EXPECT_FALSE(StartsWith(e, "lock ") && e.find("ExtContents") != std::string::npos) << e;
  }
}

TEST(RunLocking, LockHeldElsewhereIsReportedAndNothingChanges) {
  for (const std::string& busy : {kSampleTemplate, kSampleBackground}) {
    SCOPED_TRACE(busy);
    FakePlatform sys;
    BuildSampleHost(sys);
    const std::map<std::string, std::string> before = sys.files;
    FaultPlatform other_run(sys);
    other_run.busy_locks.insert(busy);
    EXPECT_EQ(ProgramMain(other_run), 0);
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].text, FormatWithString(sys.LoadResString(IDS_CANNOT_LOCK), busy));
    // The locked catalogue is never touched; what was merged into the other
    // before the refusal is saved, as with any failure.
    EXPECT_EQ(sys.files[busy], before.at(busy));
    EXPECT_EQ(sys.files.size(), before.size()) << "no temporary file left";
  }
}

TEST(RunLocking, StaleTemporaryFilesOfLockedCataloguesAreRemoved) {
  FakePlatform sys;
  BuildSampleHost(sys);
  const std::string dir = "C:\\Host\\Data\\Template\\";
  const std::string stale[] = {dir + "Template.dat.extmerge-12-0.tmp",
                               dir + ".Template.dat.extmerge-a1B2c3.tmp"};
  const std::string kept[] = {dir + "Template.dat.bak", dir + "Other.dat.extmerge-1.tmp",
                              dir + "Template.dat.extmerge-1.tmp.keep",
                              "C:\\Host\\Data\\ExtContents\\Pack0\\Template.dat.extmerge-1.tmp"};
  for (const std::string& p : stale) sys.AddFile(p, "[torn");
  for (const std::string& p : kept) sys.AddFile(p, "x");
  FaultPlatform traced(sys);
  ProgramMain(traced);
  for (const std::string& p : stale) EXPECT_FALSE(sys.files.count(p)) << p;
  for (const std::string& p : kept) EXPECT_TRUE(sys.files.count(p)) << p;
  // Removed under the lock, never before it.
  const auto& t = traced.trace;
  const auto lock = std::find(t.begin(), t.end(), "lock " + kSampleTemplate);
  for (const std::string& p : stale) EXPECT_GT(std::find(t.begin(), t.end(), "remove " + p), lock);
}

}  // namespace
}  // namespace extmerge
