// Replacing a file on Windows: the target keeps its attributes, a target that
// another program holds open is reported as in use and left as it was, and
// the system's calls answer as the replace steps expect.
#include "framework/MemIniFile.h"
#include "framework/OsFile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/WavTestSupport.h"
#include "framework/ReplacingFileSupport.h"

namespace fs = std::filesystem;

namespace {

using krvtest::Names;
using krvtest::Save;

constexpr DWORD kUserAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

TEST(ReplacingFileWin, TargetKeepsItsAttributes) {
  wavtest::TScratchDir dir("replace_attributes");
  const fs::path p = dir / "s.cfg";
  // (Wine keeps no FILE_ATTRIBUTE_NOT_CONTENT_INDEXED on any file.)
  for (const DWORD attributes : {DWORD(FILE_ATTRIBUTE_HIDDEN), DWORD(FILE_ATTRIBUTE_SYSTEM),
                                 DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), DWORD(FILE_ATTRIBUTE_NORMAL)}) {
    SCOPED_TRACE(attributes);
    wavtest::WriteText(p, "old");
    ASSERT_TRUE(SetFileAttributesW(p.c_str(), attributes));
    Save(p, "new");
    EXPECT_EQ(GetFileAttributesW(p.c_str()) & kUserAttributes, attributes & kUserAttributes);
    EXPECT_EQ(wavtest::ReadText(p), "new");
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"s.cfg"});
  }
  // A read-only one among them is refused, whatever else it carries.
  ASSERT_TRUE(SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_THROW(Save(p, "newer"), EOsFileError);
  EXPECT_EQ(wavtest::ReadText(p), "new");
  EXPECT_EQ(GetFileAttributesW(p.c_str()) & kUserAttributes, DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"s.cfg"});
  SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Another program's handle that does not share deletion keeps the file from
// being replaced; one that does, does not.
TEST(ReplacingFileWin, TargetOpenElsewhereIsInUseAndStaysAsItWas) {
  wavtest::TScratchDir dir("replace_in_use");
  const fs::path p = dir / "s.cfg";
  wavtest::WriteText(p, "old");
  for (const DWORD share : {DWORD(0), DWORD(FILE_SHARE_READ), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE)}) {
    SCOPED_TRACE(share);
    HANDLE other = CreateFileW(p.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    try {
      Save(p, "new");
      ADD_FAILURE() << "a file in use was replaced";
    } catch (const EOsFileError& e) {
      EXPECT_STREQ(e.what(), "it is in use by another program");
    }
    // Refused before anything is written: no temporary file is made for it.
    EXPECT_THROW(TReplacingFile{p}, EOsFileError);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"s.cfg"});
    CloseHandle(other);
    EXPECT_EQ(wavtest::ReadText(p), "old");
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"s.cfg"});
  }
  // The message as a save shows it.
  HANDLE other = CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  TMemIniFile ini(p);
  ini.WriteString("A", "x", "1");
  try {
    ini.UpdateFile();
    ADD_FAILURE() << "a file in use was replaced";
  } catch (const EIniFileError& e) {
    EXPECT_EQ(std::string(e.what()), "Error - Cannot write the file \"" + p.string() + "\": it is in use by another program.");
  }
  CloseHandle(other);

  other = CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  Save(p, "new");
  CloseHandle(other);
  EXPECT_EQ(wavtest::ReadText(p), "new");
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"s.cfg"});
}

// Names relative to the current folder are written and replaced as well.
TEST(ReplacingFileWin, RelativeNamesAreReplaced) {
  wavtest::TScratchDir dir("replace_relative");
  const fs::path before = fs::current_path();
  fs::current_path(dir.Path());
  wavtest::WriteText("s.cfg", "old");
  SetFileAttributesW(L"s.cfg", FILE_ATTRIBUTE_HIDDEN);
  Save("s.cfg", "new");
  Save("t.cfg", "first");
  fs::current_path(before);
  EXPECT_EQ(wavtest::ReadText(dir / "s.cfg"), "new");
  EXPECT_EQ(GetFileAttributesW((dir / "s.cfg").c_str()) & kUserAttributes, DWORD(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(wavtest::ReadText(dir / "t.cfg"), "first");
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"s.cfg", "t.cfg"}));
}

// The system's calls answer the codes that the replace steps tell apart: a
// missing file, a name that is taken.
TEST(ReplacingFileWin, SystemCallsAnswerTheCodesTheStepsRead) {
  wavtest::TScratchDir dir("replace_calls");
  const TReplaceCalls& calls = SystemReplaceCalls();
  const fs::path a = dir / "a.cfg", b = dir / "b.cfg", missing = dir / "missing.cfg";
  wavtest::WriteText(a, "a");
  wavtest::WriteText(b, "b");
  std::uint32_t attributes = 0;
  EXPECT_EQ(calls.Attributes(missing, attributes), TReplaceCalls::kFileNotFound);
  ASSERT_EQ(calls.Attributes(a, attributes), 0u);
  EXPECT_EQ(attributes & (TReplaceCalls::kDirectory | TReplaceCalls::kReadOnly), 0u);
  ASSERT_EQ(calls.Attributes(dir.Path(), attributes), 0u);
  EXPECT_NE(attributes & TReplaceCalls::kDirectory, 0u);
  // A move never goes over a file that has the name.
  const std::uint32_t taken = calls.Move(a, b);
  EXPECT_TRUE(taken == TReplaceCalls::kAlreadyExists || taken == TReplaceCalls::kFileExists) << taken;
  EXPECT_EQ(wavtest::ReadText(a), "a");
  EXPECT_EQ(wavtest::ReadText(b), "b");
  EXPECT_NE(calls.Replace(missing, b), 0u);
  EXPECT_EQ(wavtest::ReadText(b), "b");
  EXPECT_EQ(calls.Replace(a, b), 0u);
  EXPECT_EQ(wavtest::ReadText(b), "a");
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"b.cfg"});
  const std::string message = calls.Message(TReplaceCalls::kUnableToMoveReplacement2);
  EXPECT_FALSE(message.empty());
  EXPECT_NE(message.back(), '.');
}

}  // namespace
