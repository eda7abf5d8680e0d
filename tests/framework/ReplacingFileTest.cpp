// Replacing a file keeps what the user set on it, and refuses a file marked
// read-only; a replace that fails removes the new file only when the old one
// is known to be intact.
#include "framework/OsFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "app/WavTestSupport.h"
#include "framework/ReplacingFileSupport.h"

namespace fs = std::filesystem;

namespace {

using krvtest::Names;
using krvtest::Save;
using krvtest::TScriptedReplaceCalls;
using TEffect = TScriptedReplaceCalls::TEffect;

TEST(ReplacingFile, ReadOnlyTargetIsRefusedAndStaysAsItWas) {
  wavtest::TScratchDir dir("replace_read_only");
  const fs::path p = dir / "locked.cfg";
  wavtest::WriteText(p, "old");
  constexpr auto kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(p, kWrite, fs::perm_options::remove);
  try {
    Save(p, "new");
    ADD_FAILURE() << "a read-only file was replaced";
  } catch (const EOsFileError& e) {
    EXPECT_STREQ(e.what(), "it is read-only");
  }
  EXPECT_EQ(wavtest::ReadText(p), "old");
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"locked.cfg"});
  // Refused before anything is written: no temporary file is made for it.
  EXPECT_THROW(TReplacingFile{p}, EOsFileError);
  EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"locked.cfg"});
  EXPECT_EQ(fs::status(p).permissions() & kWrite, fs::perms::none);
  fs::permissions(p, fs::perms::owner_write, fs::perm_options::add);  // so the folder can go
}

// A folder's entries with their contents ("<folder>" for a folder).
std::map<std::string, std::string> Contents(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& name : Names(dir))
    out[name] = fs::is_directory(dir / name) ? "<folder>" : wavtest::ReadText(dir / name);
  return out;
}

// How a failed replace ends: the new file in the target's place after all,
// the old one as it was and the new one removed, or the new one kept under
// its temporary name because the old one is gone or may be.
enum class TEnd { Saved, Intact, Removed, Unknown };

struct TFailedReplace {
  const char* What;
  std::uint32_t Replace;
  TEffect Effect;
  std::uint32_t AttributesAfter;
  std::uint32_t MoveAfter;
  TEnd End;
};

constexpr std::uint32_t kNetNameDeleted = 64;  // a share that went away

TEST(ReplacingFile, FailedReplaceRemovesTheNewFileOnlyWhenTheOldOneIsIntact) {
  using C = TReplaceCalls;
  const TFailedReplace cases[] = {
      {"the system's replace", 0, TEffect::None, 0, 0, TEnd::Saved},
      {"old file not removed", C::kUnableToRemoveReplaced, TEffect::None, 0, 0, TEnd::Intact},
      {"old file not removed, then not found", C::kUnableToRemoveReplaced, TEffect::None, C::kAccessDenied, 0,
       TEnd::Unknown},
      {"new file not moved, old one there", C::kUnableToMoveReplacement, TEffect::None, 0, 0, TEnd::Intact},
      {"new file not moved, old one gone", C::kUnableToMoveReplacement, TEffect::RemoveTarget, 0, 0, TEnd::Saved},
      {"new file not moved, old one gone, no move", C::kUnableToMoveReplacement, TEffect::RemoveTarget, 0,
       C::kAccessDenied, TEnd::Removed},
      {"old file renamed away", C::kUnableToMoveReplacement2, TEffect::RemoveTarget, 0, 0, TEnd::Saved},
      {"old file renamed away, no move", C::kUnableToMoveReplacement2, TEffect::RemoveTarget, 0, C::kAccessDenied,
       TEnd::Removed},
      {"old file renamed away, another in its place", C::kUnableToMoveReplacement2, TEffect::OtherFileAtTarget, 0, 0,
       TEnd::Removed},
      {"denied, old one there", C::kAccessDenied, TEffect::None, 0, 0, TEnd::Intact},
      {"denied, old one delete-pending", C::kAccessDenied, TEffect::None, C::kAccessDenied, 0, TEnd::Unknown},
      {"denied, share gone", C::kAccessDenied, TEffect::RemoveTarget, kNetNameDeleted, 0, TEnd::Unknown},
      {"denied, old one gone", C::kAccessDenied, TEffect::RemoveTarget, 0, 0, TEnd::Saved},
      {"denied, a folder in its place", C::kAccessDenied, TEffect::FolderAtTarget, 0, 0, TEnd::Removed},
      {"in use", C::kSharingViolation, TEffect::None, 0, 0, TEnd::Intact},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    wavtest::TScratchDir dir("replace_failed");
    const fs::path p = dir / "s.cfg";
    wavtest::WriteText(p, "old");
    TScriptedReplaceCalls calls;
    calls.ReplaceAnswer = c.Replace;
    calls.ReplaceEffect = c.Effect;
    calls.AttributesAfter = c.AttributesAfter;
    calls.MoveAfter = c.MoveAfter;
    TReplacingFile file(p);
    const fs::path temporary = file.TemporaryName();
    file.Write(reinterpret_cast<const std::uint8_t*>("new"), 3);
    const std::string kept = "; the new one is kept as \"" + temporary.string() + "\"";
    std::string message = "(none)";
    try {
      file.Commit(calls);
    } catch (const EOsFileError& e) {
      message = e.what();
      // Only a file kept is the caller's to name.
      EXPECT_EQ(dynamic_cast<const EOsFileStranded*>(&e) != nullptr, c.End == TEnd::Removed || c.End == TEnd::Unknown);
    }
    EXPECT_TRUE(file.TemporaryName().empty());
    const std::string other = c.Effect == TEffect::OtherFileAtTarget ? "other" : "<folder>";
    switch (c.End) {
      case TEnd::Saved:
        EXPECT_EQ(message, "(none)");
        EXPECT_EQ(Contents(dir.Path()), (std::map<std::string, std::string>{{"s.cfg", "new"}}));
        break;
      case TEnd::Intact:
        EXPECT_EQ(message, c.Replace == C::kSharingViolation ? "it is in use by another program"
                                                             : calls.Message(c.Replace));
        EXPECT_EQ(Contents(dir.Path()), (std::map<std::string, std::string>{{"s.cfg", "old"}}));
        break;
      case TEnd::Removed:
        EXPECT_NE(calls.LastMove, 0u);
        EXPECT_EQ(message, "the old file was removed but the new one could not take its name (" +
                               calls.Message(calls.LastMove) + "); it is kept as \"" + temporary.string() + "\"");
        if (c.Effect == TEffect::RemoveTarget)
          EXPECT_EQ(Contents(dir.Path()), (std::map<std::string, std::string>{{"s.cfg.tmp0", "new"}}));
        else
          EXPECT_EQ(Contents(dir.Path()), (std::map<std::string, std::string>{{"s.cfg", other}, {"s.cfg.tmp0", "new"}}));
        break;
      case TEnd::Unknown:
        EXPECT_EQ(message, "the old file could not be replaced (" + calls.Message(c.Replace) +
                               ") and could not be checked afterwards (" + calls.Message(c.AttributesAfter) + ")" +
                               kept);
        if (c.Effect == TEffect::RemoveTarget)
          EXPECT_EQ(Contents(dir.Path()), (std::map<std::string, std::string>{{"s.cfg.tmp0", "new"}}));
        else
          EXPECT_EQ(Contents(dir.Path()), (std::map<std::string, std::string>{{"s.cfg", "old"}, {"s.cfg.tmp0", "new"}}));
        break;
    }
  }
}

#ifndef _WIN32
TEST(ReplacingFile, ReplacedFileKeepsItsPermissions) {
  wavtest::TScratchDir dir("replace_mode");
  for (const mode_t mode : {0600, 0640, 0604, 0777}) {
    SCOPED_TRACE(mode);
    const fs::path p = dir / "s.cfg";
    wavtest::WriteText(p, "old");
    ASSERT_EQ(::chmod(p.c_str(), mode), 0);
    Save(p, "new");
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, mode);
    EXPECT_EQ(wavtest::ReadText(p), "new");
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"s.cfg"});
  }
}
#endif

}  // namespace
