// The Windows layer's file system calls on real files in a private
// temporary directory.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/SystemPlatform.h"
#include "support/Text.h"

namespace extmerge {
namespace {

using test::J;

// The test's own way to long paths, independent of the layer under test:
// "\\?\" and the UTF-16 of an absolute ANSI path.
std::wstring Long(const std::string& path) {
  int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
  return L"\\\\?\\" + wide;
}

// Removes a directory tree the test made (clearing read-only bits first),
// paths of any length included.
void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = dir + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(dir.c_str());
}

class Win32FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD n = GetTempPathA(0, nullptr);
    std::string tmp(n, '\0');
    tmp.resize(GetTempPathA(n, tmp.data()));
    static int counter = 0;
    dir_ = tmp + "extmerge-test-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(counter++);
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr)) << dir_;
  }
  void TearDown() override { RemoveTree(Long(dir_)); }

  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

  void Write(const std::string& name, const std::string& bytes, DWORD attrs = 0) {
    HANDLE h = CreateFileA(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(h);
    if (attrs) {
      ASSERT_TRUE(SetFileAttributesA(Path(name).c_str(), attrs));
    }
  }

  std::string Read(const std::string& name) {
    std::string out;
    EXPECT_EQ(platform_->ReadWholeFile(Path(name), out), ReadStatus::kOk) << name;
    return out;
  }

  std::vector<std::string> Names(const std::string& dir) {
    std::vector<DirEntry> entries;
    EXPECT_EQ(platform_->ListDirectory(dir, entries), ListStatus::kOk) << dir;
    std::vector<std::string> names;
    for (const DirEntry& e : entries) names.push_back(e.name);
    return names;
  }

  // A handle held open without any sharing, as another program might.
  HANDLE HoldExclusively(const std::string& name) {
    return CreateFileA(Path(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  std::unique_ptr<Platform> platform_ = MakeSystemPlatform(0, nullptr);
  std::string dir_;
};

TEST_F(Win32FilesTest, ListsInSystemOrderWithDotNames) {
  for (const char* name : {"zeta", "_x", "Alpha", "beta", "10", "9", ".hidden"}) Write(name, "x");
  ASSERT_TRUE(CreateDirectoryA(Path("Sub").c_str(), nullptr));
  std::vector<DirEntry> entries;
  ASSERT_EQ(platform_->ListDirectory(dir_, entries), ListStatus::kOk);
  std::vector<std::string> names;
  for (const DirEntry& e : entries) {
    names.push_back(e.name);
    EXPECT_EQ((e.attributes & kAttrDirectory) != 0,
              e.name == "." || e.name == ".." || e.name == "Sub")
        << e.name;
  }
  // Sorted by name with letters folded to upper case, as NTFS lists them.
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", ".hidden", "10", "9", "Alpha", "beta",
                                             "Sub", "zeta", "_x"}));
  // A trailing separator is accepted as well.
  EXPECT_EQ(Names(dir_ + "\\").size(), names.size());
}

TEST_F(Win32FilesTest, DoubleByteNamesWithBackslashTrailByte) {
  // The second byte of 表 is 0x5C, the byte of "\": it must never be taken
  // for a separator.
  const std::string hyo = J("表");
  // A missing file named 表 in an existing directory can be made.
  EXPECT_TRUE(platform_->IsWritable(Path(hyo)));
  ASSERT_TRUE(CreateDirectoryA(Path(hyo).c_str(), nullptr));
  Write(hyo + "\\" + J("素材.dat"), "data");
  EXPECT_EQ(Names(Path(hyo)), (std::vector<std::string>{".", "..", J("素材.dat")}));
  EXPECT_EQ(Read(hyo + "\\" + J("素材.dat")), "data");
  EXPECT_TRUE(platform_->IsWritable(Path(hyo + "\\" + J("新規"))));
}

TEST_F(Win32FilesTest, ListingAMissingDirectory) {
  std::vector<DirEntry> entries;
  EXPECT_EQ(platform_->ListDirectory(Path("missing"), entries), ListStatus::kNotFound);
  EXPECT_EQ(platform_->ListDirectory(Path("missing\\deeper"), entries), ListStatus::kNotFound);
  EXPECT_TRUE(entries.empty());
}

TEST_F(Win32FilesTest, ReadsWholeFilesAndReportsWhyNot) {
  std::string big;
  for (int i = 0; big.size() < 200 * 1024; ++i)
    big += std::string("line\0\x81\x40", 7) + std::to_string(i);
  Write("big.dat", big);
  Write("empty.dat", "");
  EXPECT_EQ(Read("big.dat"), big);
  EXPECT_EQ(Read("empty.dat"), "");

  std::string out = "stale";
  EXPECT_EQ(platform_->ReadWholeFile(Path("missing.dat"), out), ReadStatus::kNotFound);
  EXPECT_EQ(platform_->ReadWholeFile(Path("nodir\\missing.dat"), out), ReadStatus::kNotFound);
  EXPECT_EQ(platform_->ReadWholeFile(dir_, out), ReadStatus::kIsDirectory);

  // Held open by another for writing with read sharing: still readable.
  HANDLE shared = CreateFileA(Path("big.dat").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(shared, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Read("big.dat"), big);
  CloseHandle(shared);
  // Held open without sharing: a failure, not "missing".
  HANDLE held = HoldExclusively("big.dat");
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform_->ReadWholeFile(Path("big.dat"), out), ReadStatus::kFailed);
  CloseHandle(held);
}

TEST_F(Win32FilesTest, AttributesAndWritability) {
  Write("plain.dat", "x");
  Write("readonly.dat", "x", FILE_ATTRIBUTE_READONLY);
  Write("held.dat", "x");
  ASSERT_TRUE(CreateDirectoryA(Path("Sub").c_str(), nullptr));

  EXPECT_EQ(platform_->FileAttributesOf(Path("readonly.dat")).value_or(0) & kAttrReadOnly,
            kAttrReadOnly);
  EXPECT_EQ(platform_->FileAttributesOf(Path("plain.dat")).value_or(kAttrReadOnly) & kAttrReadOnly,
            0u);
  EXPECT_NE(platform_->FileAttributesOf(Path("Sub")).value_or(0) & kAttrDirectory, 0u);
  EXPECT_FALSE(platform_->FileAttributesOf(Path("missing.dat")).has_value());

  EXPECT_TRUE(platform_->IsWritable(Path("plain.dat")));
  EXPECT_FALSE(platform_->IsWritable(Path("readonly.dat")));
  EXPECT_FALSE(platform_->IsWritable(Path("Sub")));
  EXPECT_TRUE(platform_->IsWritable(Path("missing.dat")));
  EXPECT_FALSE(platform_->IsWritable(Path("nodir\\missing.dat")));
  HANDLE held = HoldExclusively("held.dat");
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(platform_->IsWritable(Path("held.dat")));
  CloseHandle(held);
  EXPECT_TRUE(platform_->IsWritable(Path("held.dat")));
  EXPECT_EQ(Read("held.dat"), "x");  // the probe wrote nothing
}

TEST_F(Win32FilesTest, TempBesideThenRenameReplacesAndKeepsAttributes) {
  Write("Template.dat", "old contents, longer than the new ones", FILE_ATTRIBUTE_HIDDEN);
  const std::string target = platform_->ResolveWriteTarget(Path("Template.dat"));
  EXPECT_EQ(target, Path("Template.dat"));

  std::string temp;
  std::unique_ptr<WritableFile> f = platform_->CreateTempBeside(target, temp);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(temp.rfind(target + ".extmerge-", 0), 0u) << temp;
  EXPECT_EQ(temp.substr(temp.size() - 4), ".tmp");
  // A second one at the same time gets its own name.
  std::string temp2;
  std::unique_ptr<WritableFile> f2 = platform_->CreateTempBeside(target, temp2);
  ASSERT_NE(f2, nullptr);
  EXPECT_NE(temp2, temp);
  ASSERT_TRUE(f2->Close());
  ASSERT_TRUE(platform_->RemovePath(temp2));

  ASSERT_TRUE(f->Append(std::string("new\0", 4)));
  ASSERT_TRUE(f->Append(J("追加素材")));
  ASSERT_TRUE(f->Sync());
  ASSERT_TRUE(f->Close());
  ASSERT_TRUE(platform_->RenameReplacing(temp, target));

  EXPECT_EQ(Read("Template.dat"), std::string("new\0", 4) + J("追加素材"));
  EXPECT_NE(platform_->FileAttributesOf(target).value_or(0) & kAttrHidden, 0u);
  EXPECT_EQ(Names(dir_), (std::vector<std::string>{".", "..", "Template.dat"}));
}

TEST_F(Win32FilesTest, ReadOnlyTargetIsNeitherReplacedNorOverwritten) {
  Write("Template.dat", "kept", FILE_ATTRIBUTE_READONLY);
  Write("new.tmp", "replacement");
  EXPECT_FALSE(platform_->RenameReplacing(Path("new.tmp"), Path("Template.dat")));
  EXPECT_EQ(platform_->OpenForOverwrite(Path("Template.dat")), nullptr);
  EXPECT_EQ(Read("Template.dat"), "kept");
  EXPECT_EQ(Read("new.tmp"), "replacement");
}

TEST_F(Win32FilesTest, OverwriteTruncatesOrCreates) {
  Write("hidden.dat", "a much longer old text", FILE_ATTRIBUTE_HIDDEN);
  for (const char* name : {"hidden.dat", "fresh.dat"}) {
    std::unique_ptr<WritableFile> f = platform_->OpenForOverwrite(Path(name));
    ASSERT_NE(f, nullptr) << name;
    ASSERT_TRUE(f->Append("short"));
    ASSERT_TRUE(f->Close());
    EXPECT_EQ(Read(name), "short");
  }
  EXPECT_EQ(platform_->OpenForOverwrite(Path("nodir\\x.dat")), nullptr);
}

TEST_F(Win32FilesTest, RemovePath) {
  Write("gone.dat", "x");
  EXPECT_TRUE(platform_->RemovePath(Path("gone.dat")));
  EXPECT_FALSE(platform_->FileAttributesOf(Path("gone.dat")).has_value());
  EXPECT_FALSE(platform_->RemovePath(Path("gone.dat")));
}

TEST_F(Win32FilesTest, LockIsExclusiveAndLeavesNoSidecar) {
  Write("Template.dat", "x");
  const std::string path = Path("Template.dat");
  std::unique_ptr<FileLock> first = platform_->LockPath(path, 0);
  ASSERT_NE(first, nullptr);
  DWORD start = GetTickCount();
  EXPECT_EQ(platform_->LockPath(path, 100), nullptr);
  EXPECT_GE(GetTickCount() - start, 90u);  // it waited before giving up
  // The lock belongs to the path: replacing the file does not release it.
  Write("other.tmp", "y");
  ASSERT_TRUE(platform_->RenameReplacing(Path("other.tmp"), path));
  EXPECT_EQ(platform_->LockPath(path, 0), nullptr);
  first.reset();
  std::unique_ptr<FileLock> again = platform_->LockPath(path, 0);
  EXPECT_NE(again, nullptr);
  again.reset();
  EXPECT_FALSE(platform_->FileAttributesOf(path + ".lock").has_value());
  EXPECT_EQ(platform_->LockPath(Path("nodir\\x.dat"), 1000), nullptr);
}

// Paths beyond MAX_PATH: a tree some 330 bytes deep, made with the wide
// functions, with a double-byte name whose second byte is that of "\".
class Win32LongPathTest : public Win32FilesTest {
 protected:
  void SetUp() override {
    Win32FilesTest::SetUp();
    deep_ = dir_;
    for (int i = 0; i < 5; ++i) {
      names_.push_back(J("表") + std::string(60, static_cast<char>('a' + i)));
      deep_ += "\\" + names_.back();
      ASSERT_TRUE(CreateDirectoryW(Long(deep_).c_str(), nullptr)) << deep_.size();
    }
    ASSERT_GT(deep_.size(), 300u);
    file_ = deep_ + "\\Template.dat";
    WriteLong(file_, "old contents");
  }

  static void WriteLong(const std::string& path, const std::string& bytes, DWORD attrs = 0) {
    HANDLE h = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(h);
    if (attrs) {
      ASSERT_TRUE(SetFileAttributesW(Long(path).c_str(), attrs));
    }
  }

  std::string ReadAt(const std::string& path) {
    std::string out;
    EXPECT_EQ(platform_->ReadWholeFile(path, out), ReadStatus::kOk) << path;
    return out;
  }

  std::vector<std::string> names_;  // of the directories from dir_ down to deep_
  std::string deep_;
  std::string file_;
};

TEST_F(Win32LongPathTest, AttributesListingAndReading) {
  WriteLong(deep_ + "\\" + J("追加素材.dat"), "x", FILE_ATTRIBUTE_HIDDEN);
  EXPECT_NE(platform_->FileAttributesOf(deep_).value_or(0) & kAttrDirectory, 0u);
  EXPECT_NE(platform_->FileAttributesOf(deep_ + "\\" + J("追加素材.dat")).value_or(0) & kAttrHidden,
            0u);
  EXPECT_FALSE(platform_->FileAttributesOf(deep_ + "\\missing.dat").has_value());

  // Names come back in the ANSI code page, as the ANSI functions give them.
  EXPECT_EQ(Names(deep_), (std::vector<std::string>{".", "..", "Template.dat", J("追加素材.dat")}));
  EXPECT_EQ(Names(deep_ + "\\").size(), 4u);
  std::vector<DirEntry> entries;
  EXPECT_EQ(platform_->ListDirectory(deep_ + "\\missing", entries), ListStatus::kNotFound);

  EXPECT_EQ(ReadAt(file_), "old contents");
  std::string out;
  EXPECT_EQ(platform_->ReadWholeFile(deep_, out), ReadStatus::kIsDirectory);
  EXPECT_EQ(platform_->ReadWholeFile(deep_ + "\\missing.dat", out), ReadStatus::kNotFound);
  EXPECT_EQ(platform_->ReadWholeFile(deep_ + "\\nodir\\missing.dat", out), ReadStatus::kNotFound);
}

TEST_F(Win32LongPathTest, SpellingsTheSystemAcceptsForShortPaths) {
  // "/" as a separator, "." and "..", and a path relative to the current
  // directory name the same file as they would in a short path.
  std::string slashes = dir_;
  std::string dots = dir_;
  std::string relative = ".";
  for (size_t i = 0; i < names_.size(); ++i) {
    slashes += "/" + names_[i];
    relative += "\\" + names_[i];
    // ...\d3\.\..\d3\d4
    dots += "\\" + names_[i] + (i == 3 ? "\\.\\..\\" + names_[i] : "");
  }
  slashes += "/Template.dat";
  dots += "\\Template.dat";
  relative += "\\Template.dat";
  for (const std::string& path : {slashes, dots, relative})
    ASSERT_GE(path.size(), size_t{MAX_PATH});

  EXPECT_EQ(ReadAt(slashes), "old contents");
  EXPECT_EQ(ReadAt(dots), "old contents");
  std::string cwd(GetCurrentDirectoryA(0, nullptr), '\0');
  cwd.resize(GetCurrentDirectoryA(static_cast<DWORD>(cwd.size()), cwd.data()));
  ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
  EXPECT_EQ(ReadAt(relative), "old contents");
  SetCurrentDirectoryA(cwd.c_str());
}

TEST_F(Win32LongPathTest, PathsAroundTheLimitOfTheAnsiFunctions) {
  // Both sides of the switch from the ANSI to the wide functions.
  for (size_t size : {size_t{MAX_PATH} - 1, size_t{MAX_PATH}, size_t{MAX_PATH} + 1}) {
    const std::string path = dir_ + "\\" + std::string(size - dir_.size() - 1, 'n');
    ASSERT_EQ(path.size(), size);
    WriteLong(path, "at " + std::to_string(size));
    EXPECT_EQ(platform_->FileAttributesOf(path).value_or(kAttrDirectory) & kAttrDirectory, 0u);
    EXPECT_EQ(ReadAt(path), "at " + std::to_string(size));
    EXPECT_TRUE(platform_->RemovePath(path)) << size;
  }
}

TEST_F(Win32LongPathTest, SavingReplacesAtomicallyAndKeepsAttributes) {
  ASSERT_TRUE(SetFileAttributesW(Long(file_).c_str(), FILE_ATTRIBUTE_HIDDEN));
  const std::string target = platform_->ResolveWriteTarget(file_);
  EXPECT_EQ(target, file_);
  EXPECT_TRUE(platform_->IsWritable(target));
  EXPECT_TRUE(platform_->IsWritable(deep_ + "\\new.dat"));
  EXPECT_FALSE(platform_->IsWritable(deep_ + "\\nodir\\new.dat"));

  std::unique_ptr<FileLock> lock = platform_->LockPath(target, 0);
  ASSERT_NE(lock, nullptr);
  EXPECT_NE(platform_->FileAttributesOf(target + ".lock"), std::nullopt);
  EXPECT_EQ(platform_->LockPath(target, 0), nullptr);

  std::string temp;
  std::unique_ptr<WritableFile> f = platform_->CreateTempBeside(target, temp);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(temp.rfind(target + ".extmerge-", 0), 0u) << temp;
  ASSERT_TRUE(f->Append(J("追加素材")));
  ASSERT_TRUE(f->Close());
  ASSERT_TRUE(platform_->RenameReplacing(temp, target));
  EXPECT_EQ(ReadAt(target), J("追加素材"));
  EXPECT_NE(platform_->FileAttributesOf(target).value_or(0) & kAttrHidden, 0u);

  std::unique_ptr<WritableFile> over = platform_->OpenForOverwrite(target);
  ASSERT_NE(over, nullptr);
  ASSERT_TRUE(over->Append("short"));
  ASSERT_TRUE(over->Close());
  EXPECT_EQ(ReadAt(target), "short");

  lock.reset();
  EXPECT_EQ(Names(deep_), (std::vector<std::string>{".", "..", "Template.dat"}));
  EXPECT_TRUE(platform_->RemovePath(target));
  EXPECT_FALSE(platform_->FileAttributesOf(target).has_value());
  EXPECT_FALSE(platform_->RemovePath(target));
}

}  // namespace
}  // namespace extmerge
