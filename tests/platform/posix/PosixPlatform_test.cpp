#include "platform/posix/PosixPlatform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Resources.h"
#include "support/Text.h"

namespace extmerge::posix {
namespace {

namespace fs = std::filesystem;
using test::J;

// A fresh directory on the real file system for each test.
class PosixPlatformTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "extmerge-posix-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root_ = templ;
    const char* reg = std::getenv(kRegistryVariable);
    saved_registry_ = reg ? std::optional<std::string>(reg) : std::nullopt;
  }
  void TearDown() override {
    if (saved_registry_) {
      setenv(kRegistryVariable, saved_registry_->c_str(), 1);
    } else {
      unsetenv(kRegistryVariable);
    }
    for (const auto& e : fs::recursive_directory_iterator(root_))
      if (!e.is_symlink()) fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(root_);
  }

  // Native (UTF-8) path below the test directory.
  std::string N(const std::string& rel) const { return root_ + "/" + rel; }
  // The same path as the tool forms it: code page 932, "\" separators.
  std::string T(const std::string& rel) const {
    std::string p = J(N(rel));
    for (char& c : p)
      if (c == '/') c = '\\';
    return p;
  }
  static void Write(const std::string& native, const std::string& bytes, mode_t mode = 0644) {
    std::ofstream(native, std::ios::binary) << bytes;
    chmod(native.c_str(), mode);
  }
  static std::string Read(const std::string& native) {
    std::ifstream f(native, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  static mode_t Mode(const std::string& native) {
    struct stat st;
    return stat(native.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }

  std::string root_;
  std::optional<std::string> saved_registry_;
  PosixPlatform sys_{0, nullptr};
};

TEST_F(PosixPlatformTest, ListsLikeWindowsOnNtfs) {
  for (const char* f : {"zeta", "_x", "10", "9", "Beta", "alpha", "-dash", "日本", "ｱ", "～"})
    Write(N(f), "x");
  Write(N("ro"), "x", 0444);
  fs::create_directory(N(".hidden"));
  fs::create_directory(N("Sub"));
  std::vector<DirEntry> out = {{"stale", 0}};
  ASSERT_EQ(sys_.ListDirectory(T(""), out), ListStatus::kOk);
  std::vector<std::pair<std::string, uint32_t>> got;
  for (const DirEntry& e : out) got.emplace_back(e.name, e.attributes);
  // Upper-cased UTF-16 units: "-" < "." < digits < letters < "_" < kana.
  const std::vector<std::pair<std::string, uint32_t>> expected = {
      {".", 0x10},    {"..", 0x10},    {"-dash", 0x20},   {".hidden", 0x12}, {"10", 0x20},
      {"9", 0x20},    {"alpha", 0x20}, {"Beta", 0x20},    {"ro", 0x21},      {"Sub", 0x10},
      {"zeta", 0x20}, {"_x", 0x20},    {J("日本"), 0x20}, {J("～"), 0x20},   {J("ｱ"), 0x20},
  };
  EXPECT_EQ(got, expected);
}

TEST_F(PosixPlatformTest, ListingFailures) {
  Write(N("file"), "x");
  std::vector<DirEntry> out;
  EXPECT_EQ(sys_.ListDirectory(T("missing"), out), ListStatus::kNotFound);
  EXPECT_EQ(sys_.ListDirectory(T("file"), out), ListStatus::kNotFound);
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  fs::create_directory(N("closed"));
  chmod(N("closed").c_str(), 0);
  EXPECT_EQ(sys_.ListDirectory(T("closed"), out), ListStatus::kFailed);
}

TEST_F(PosixPlatformTest, Attributes) {
  Write(N("file"), "x");
  Write(N("ro"), "x", 0444);
  Write(N(".dotfile"), "x");
  fs::create_directory(N(".cache"));
  fs::create_directory(N("表"));  // second byte 0x5C in code page 932
  fs::create_symlink(N("表"), N("link"));
  EXPECT_EQ(sys_.FileAttributesOf(T("missing")), std::nullopt);
  EXPECT_EQ(sys_.FileAttributesOf(T("file")), 0x20u);
  EXPECT_EQ(sys_.FileAttributesOf(T("ro")), 0x21u);
  EXPECT_EQ(sys_.FileAttributesOf(T(".dotfile")), 0x22u);
  EXPECT_EQ(sys_.FileAttributesOf(T(".cache")), 0x12u);
  EXPECT_EQ(sys_.FileAttributesOf(T("表")), 0x10u);
  EXPECT_EQ(sys_.FileAttributesOf(T("link")), 0x10u);  // followed
  EXPECT_EQ(sys_.FileAttributesOf(T("")), 0x10u);      // trailing separator
}

TEST_F(PosixPlatformTest, ReadWholeFile) {
  std::string big;
  for (int i = 0; big.size() < 300000; ++i) big += std::to_string(i) + "\r\n";
  Write(N("big"), big);
  Write(N("empty"), "");
  std::string out = "stale";
  EXPECT_EQ(sys_.ReadWholeFile(T("big"), out), ReadStatus::kOk);
  EXPECT_EQ(out, big);
  EXPECT_EQ(sys_.ReadWholeFile(T("empty"), out), ReadStatus::kOk);
  EXPECT_EQ(out, "");
  EXPECT_EQ(sys_.ReadWholeFile(T("missing"), out), ReadStatus::kNotFound);
  EXPECT_EQ(sys_.ReadWholeFile(T("missing\\x"), out), ReadStatus::kNotFound);
  EXPECT_EQ(sys_.ReadWholeFile(T(""), out), ReadStatus::kIsDirectory);
}

// The atomic replacement as the core performs it.
bool ReplaceFile(Platform& sys, const std::string& path, const std::string& bytes,
                 std::string* temp_seen = nullptr) {
  std::string target = sys.ResolveWriteTarget(path);
  std::string temp;
  std::unique_ptr<WritableFile> f = sys.CreateTempBeside(target, temp);
  if (!f) return false;
  if (temp_seen) *temp_seen = temp;
  bool ok = f->Append(bytes) && f->Sync();
  ok = f->Close() && ok;
  return ok && sys.RenameReplacing(temp, target);
}

TEST_F(PosixPlatformTest, ReplaceKeepsModeAndLeavesNoTemp) {
  fs::create_directory(N("d"));
  Write(N("d/Template.dat"), "old", 0640);
  std::string temp;
  ASSERT_TRUE(ReplaceFile(sys_, T("d/Template.dat"), "new\r\n", &temp));
  // The temporary file was a hidden name beside the target.
  std::string temp_name = temp.substr(temp.find_last_of("\\/") + 1);
  EXPECT_EQ(temp.substr(0, temp.size() - temp_name.size()), J(N("d/")));
  EXPECT_EQ(temp_name.front(), '.');
  EXPECT_NE(temp_name.find("Template.dat"), std::string::npos);
  EXPECT_EQ(Read(N("d/Template.dat")), "new\r\n");
  EXPECT_EQ(Mode(N("d/Template.dat")), 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(N("d")), fs::directory_iterator()), 1);

  // A new file gets the usual mode for new files.
  ASSERT_TRUE(ReplaceFile(sys_, T("d/New.dat"), "n"));
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(Mode(N("d/New.dat")), 0666u & ~mask);
}

TEST_F(PosixPlatformTest, SymlinkIsWrittenThrough) {
  fs::create_directory(N("real"));
  fs::create_directory(N("links"));
  Write(N("real/BackGrnd.dat"), "old", 0600);
  fs::create_symlink("../real/BackGrnd.dat", N("links/hop"));
  fs::create_symlink("hop", N("links/BackGrnd.dat"));  // a chain of relative links
  std::string target = sys_.ResolveWriteTarget(T("links/BackGrnd.dat"));
  EXPECT_EQ(fs::canonical(Cp932ToUtf8(target)), fs::canonical(N("real/BackGrnd.dat")));
  ASSERT_TRUE(ReplaceFile(sys_, T("links/BackGrnd.dat"), "new"));
  EXPECT_TRUE(fs::is_symlink(N("links/BackGrnd.dat")));
  EXPECT_EQ(Read(N("real/BackGrnd.dat")), "new");
  EXPECT_EQ(Mode(N("real/BackGrnd.dat")), 0600u);
  // A plain file is its own target.
  EXPECT_EQ(sys_.ResolveWriteTarget(T("real/BackGrnd.dat")), T("real/BackGrnd.dat"));
}

TEST_F(PosixPlatformTest, OverwriteRemoveAndFailures) {
  Write(N("f"), "a long old content");
  std::unique_ptr<WritableFile> f = sys_.OpenForOverwrite(T("f"));
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->Append("short"));
  EXPECT_TRUE(f->Close());
  EXPECT_EQ(Read(N("f")), "short");
  EXPECT_TRUE(sys_.RemovePath(T("f")));
  EXPECT_FALSE(fs::exists(N("f")));
  EXPECT_FALSE(sys_.RemovePath(T("f")));

  std::string temp;
  EXPECT_EQ(sys_.CreateTempBeside(T("missing/f"), temp), nullptr);
  EXPECT_EQ(sys_.OpenForOverwrite(T("missing/f")), nullptr);
  EXPECT_FALSE(sys_.RenameReplacing(T("nothing"), T("f")));
}

TEST_F(PosixPlatformTest, IsWritable) {
  Write(N("rw"), "x");
  Write(N("ro"), "x", 0444);
  fs::create_directory(N("d"));
  EXPECT_TRUE(sys_.IsWritable(T("rw")));
  EXPECT_FALSE(sys_.IsWritable(T("ro")));  // for root too
  EXPECT_FALSE(sys_.IsWritable(T("d")));
  EXPECT_TRUE(sys_.IsWritable(T("d\\new")));
  EXPECT_FALSE(sys_.IsWritable(T("missing\\new")));
}

TEST_F(PosixPlatformTest, LockIsExclusiveAndOutlivesRename) {
  Write(N("cat"), "x");
  std::unique_ptr<FileLock> first = sys_.LockPath(T("cat"), 0);
  ASSERT_TRUE(first);
  ASSERT_TRUE(ReplaceFile(sys_, T("cat"), "y"));

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(sys_.LockPath(T("cat"), 60), nullptr);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

  first.reset();
  EXPECT_TRUE(sys_.LockPath(T("cat"), 0));
  EXPECT_TRUE(fs::exists(N("cat.lock")));
}

TEST_F(PosixPlatformTest, Registry) {
  const std::string file = N("reg.reg");
  Write(file, "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\" + J("ホスト") + "\\dstDir]\r\n@=\"" +
                  J("/srv/表\\\\") + "\"\r\n");
  setenv(kRegistryVariable, file.c_str(), 1);
  EXPECT_EQ(sys_.ReadClassesRootDefault(J("ホスト") + "\\DSTDIR"), J("/srv/表\\"));
  EXPECT_EQ(sys_.ReadClassesRootDefault("Other\\dstDir"), std::nullopt);
  EXPECT_TRUE(sys_.MayWriteMachineSettings());

  chmod(file.c_str(), 0444);  // no write bit: refused even to root
  EXPECT_FALSE(sys_.MayWriteMachineSettings());
  EXPECT_EQ(sys_.ReadClassesRootDefault(J("ホスト") + "\\dstDir"), J("/srv/表\\"));

  setenv(kRegistryVariable, N("missing.reg").c_str(), 1);
  EXPECT_EQ(sys_.ReadClassesRootDefault(J("ホスト") + "\\dstDir"), std::nullopt);
  EXPECT_FALSE(sys_.MayWriteMachineSettings());
  unsetenv(kRegistryVariable);
  EXPECT_EQ(sys_.ReadClassesRootDefault(J("ホスト") + "\\dstDir"), std::nullopt);
  EXPECT_FALSE(sys_.MayWriteMachineSettings());
}

TEST(PosixProcess, ParametersStopAtFirstEmpty) {
  const char* argv[] = {"prog", "Key", "日本", "raw\xFF", "", "after", nullptr};
  PosixPlatform sys(6, const_cast<char**>(argv));
  EXPECT_EQ(sys.CommandParameters(), (std::vector<std::string>{"Key", J("日本"), "raw\xFF"}));
  PosixPlatform none(1, const_cast<char**>(argv));
  EXPECT_TRUE(none.CommandParameters().empty());
}

TEST(PosixProcess, MessageLineAndResources) {
  PosixPlatform sys(0, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(sys.ShowMessageBox(J("完了"), "extmerge", 0), 1);
  EXPECT_EQ(sys.ShowMessageBox("%s failed", J("ツール"), 0x10), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "extmerge: 完了\nツール: error: %s failed\n");

  EXPECT_EQ(sys.LoadResString(IDS_SUCCESS), J("追加素材の再登録が完了しました"));
  EXPECT_EQ(sys.LoadResString(IDS_MARKER), J("追加素材"));
  EXPECT_EQ(sys.LoadResString(9999), "");

  std::string module = sys.ModuleFileName();
  EXPECT_EQ(module.front(), '/');
  EXPECT_EQ(module.substr(module.rfind('/') + 1), "unit_tests");

  EXPECT_EQ(sys.UserCollation().Compare("Template", "TEMPLATE"), 0);
  EXPECT_EQ(&sys.UserCollation(), &sys.UserCollation());
}

}  // namespace
}  // namespace extmerge::posix
