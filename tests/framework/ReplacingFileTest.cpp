// Replacing a file keeps what the user set on it, and refuses a file marked
// read-only.
#include "framework/OsFile.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  EXPECT_EQ(fs::status(p).permissions() & kWrite, fs::perms::none);
  fs::permissions(p, fs::perms::owner_write, fs::perm_options::add);  // so the folder can go
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
