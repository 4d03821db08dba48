// Crash safety of a whole run: every write, flush, close, rename and
// temporary-file creation the tool makes is made to fail, or the process is
// stopped there, one point at a time. Whatever happens, each host catalogue
// holds either its bytes from before the run or the bytes of a complete save,
// and a following clean run ends where an undisturbed run ends.
#include <gtest/gtest.h>

#include <set>

#include "Resources.h"
#include "main/RunControl.h"
#include "support/FakePlatform.h"
#include "support/FaultPlatform.h"
#include "support/SampleHost.h"

namespace extmerge {
namespace {

using test::BuildSampleHost;
using test::FakePlatform;
using test::FaultPlatform;
using test::kSampleBackground;
using test::kSampleTemplate;

struct Reference {
  std::map<std::string, std::string> before;             // host catalogue -> bytes
  std::map<std::string, std::string> after;              // after one undisturbed run
  std::map<std::string, std::set<std::string>> allowed;  // before + every complete save
  std::set<std::string> file_names;                      // every file after an undisturbed run
  std::vector<std::string> points;
};

Reference Undisturbed() {
  Reference ref;
  FakePlatform sys;
  BuildSampleHost(sys);
  for (const std::string& p : {kSampleTemplate, kSampleBackground}) {
    ref.before[p] = sys.files[p];
    ref.allowed[p].insert(sys.files[p]);
  }
  FaultPlatform fault(sys);
  ProgramMain(fault);
  EXPECT_EQ(sys.messages.size(), 1u);
  if (!sys.messages.empty()) {
    EXPECT_EQ(sys.messages[0].text, sys.LoadResString(IDS_SUCCESS));
  }
  for (const std::string& p : {kSampleTemplate, kSampleBackground}) {
    ref.after[p] = sys.files[p];
    for (const std::string& s : fault.saved_states[p]) ref.allowed[p].insert(s);
  }
  for (const auto& [name, bytes] : sys.files) ref.file_names.insert(name);
  ref.points = fault.Points();
  return ref;
}

class CrashSafety : public ::testing::TestWithParam<FaultPlatform::Mode> {};

TEST_P(CrashSafety, EveryPointLeavesWholeCataloguesAndACleanRunFinishes) {
  const FaultPlatform::Mode mode = GetParam();
  const Reference ref = Undisturbed();
  // The merge changes both catalogues; an undisturbed second run must not
  // change them again (otherwise "ends where an undisturbed run ends" would
  // say nothing).
  ASSERT_NE(ref.after.at(kSampleTemplate), ref.before.at(kSampleTemplate));
  ASSERT_NE(ref.after.at(kSampleBackground), ref.before.at(kSampleBackground));
  ASSERT_GE(ref.points.size(), 8u) << "both catalogues are saved through the seam";

  for (size_t point = 0; point < ref.points.size(); ++point) {
    SCOPED_TRACE("fault at " + std::to_string(point) + ": " + ref.points[point]);
    FakePlatform sys;
    BuildSampleHost(sys);
    {
      FaultPlatform fault(sys);
      fault.Arm(static_cast<int>(point), mode);
      try {
        ProgramMain(fault);
      } catch (const test::ProcessStopped&) {
      }
      ASSERT_TRUE(fault.Fired()) << "the run took a different road";
      EXPECT_EQ(fault.Stopped(), mode == FaultPlatform::Mode::kStop);
    }
    for (const std::string& p : {kSampleTemplate, kSampleBackground}) {
      ASSERT_TRUE(sys.files.count(p)) << p << " vanished";
      EXPECT_TRUE(ref.allowed.at(p).count(sys.files[p])) << p << " is torn:\n" << sys.files[p];
    }
    if (mode == FaultPlatform::Mode::kFail) {
      // The user is told, naming the catalogue; no temporary file is left.
      ASSERT_EQ(sys.messages.size(), 1u);
      const std::string& text = sys.messages[0].text;
      const std::string write_failed = sys.LoadResString(IDS_CANNOT_WRITE);
      EXPECT_TRUE(text == sys.LoadResString(IDS_SUCCESS) ||
                  text == FormatWithString(write_failed, kSampleTemplate) ||
                  text == FormatWithString(write_failed, kSampleBackground))
          << text;
      for (const auto& [name, bytes] : sys.files) EXPECT_TRUE(ref.file_names.count(name)) << name;
    } else {
      EXPECT_TRUE(sys.messages.empty());
    }

    // The next run, undisturbed, finishes the job.
    sys.messages.clear();
    ProgramMain(sys);
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].text, sys.LoadResString(IDS_SUCCESS));
    for (const std::string& p : {kSampleTemplate, kSampleBackground})
      EXPECT_EQ(sys.files[p], ref.after.at(p));
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, CrashSafety,
                         ::testing::Values(FaultPlatform::Mode::kFail, FaultPlatform::Mode::kStop),
                         [](const auto& info) {
                           return info.param == FaultPlatform::Mode::kFail ? "Fail" : "Stop";
                         });

}  // namespace
}  // namespace extmerge
