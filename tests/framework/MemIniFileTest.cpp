#include "framework/MemIniFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include "app/WavTestSupport.h"

namespace fs = std::filesystem;

namespace {

using wavtest::ReadText;

class MemIniFileTest : public ::testing::Test {
protected:
    fs::path Write(const std::string& name, const std::string& bytes)
    {
        wavtest::WriteText(FDir / name, bytes);
        return FDir / name;
    }
    wavtest::TScratchDir FDir{"ini"};
};

TEST(MemIniText, ReadFindsNamesWithoutCaseTrimsBlanksAndElseGivesTheDefault)
{
    const struct {
        const char* text;
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        // Names match without case, values exactly.
        {"[PCMFormat]\r\nSamplingRate=48000\r\n", "pcmformat", "samplingrate", "48000"},
        {"[PCMFormat]\r\nRounding=NEAR EVEN\r\n", "PCMFORMAT", "ROUNDING", "NEAR EVEN"},
        // Blanks around names and values are trimmed.
        {"  [ FileAttribute ]  \n  VenderString =  KRV-2400 \t\n", "FileAttribute", "VenderString", "KRV-2400"},
        {"[FileAttribute]\n\tVersion=1.0   \n", "FileAttribute", "Version", "1.0"},
        // Missing keys and sections, comments and lines without '=' give the default.
        {"[A]\nempty=\n", "A", "empty", ""},
        {"[A]\nx=1\n; y=2\n", "A", "y", "NoData"},
        {"[A]\nnot a key\n", "A", "not a key", "NoData"},
        {"[A]\nx=1\n", "B", "x", "NoData"},
        // Lines before the first section are no keys.
        {"x=1\n[A]\ny=2\n", "A", "x", "NoData"},
        {"x=1\n[A]\ny=2\n", "", "x", "NoData"},
    };
    for (const auto& c : cases) {
        TMemIniFile ini;
        ini.SetText(c.text);
        EXPECT_EQ(ini.ReadString(c.section, c.key, "NoData"), c.value) << c.text;
    }
    TMemIniFile ini;
    ini.SetText("[PCMFormat]\r\nSamplingRate=48000\r\n");
    EXPECT_TRUE(ini.SectionExists("pcmFORMAT"));
    EXPECT_TRUE(ini.ValueExists("PCMFormat", "samplingRATE"));
}

TEST(MemIniText, DuplicatesTheFirstWins)
{
    TMemIniFile ini;
    ini.SetText("[A]\nx=1\nX=2\n[a]\nx=3\ny=4\n");
    EXPECT_EQ(ini.ReadString("A", "x", "NoData"), "1");
    EXPECT_EQ(ini.ReadString("A", "y", "NoData"), "4");
    ini.WriteString("A", "x", "9");
    EXPECT_EQ(ini.ReadString("A", "x", "NoData"), "9");
    EXPECT_EQ(ini.GetText(), "[A]\r\nx=9\r\nX=2\r\n\r\n[a]\r\nx=3\r\ny=4\r\n\r\n");
}

TEST(MemIniText, WriteKeepsPlacesAppendsNewKeysAndSections)
{
    TMemIniFile ini;
    ini.SetText("[Foreign]\nkeep=me\n[PCMFormat]\nQuantization=24\nOther=x\n");
    ini.WriteString("pcmformat", "quantization", "16");
    ini.WriteString("PCMFormat", "Dither", "WHITE");
    ini.WriteString("InternalSetting", "FFTuse", "No");
    EXPECT_EQ(ini.GetText(),
              "[Foreign]\r\nkeep=me\r\n\r\n"
              "[PCMFormat]\r\nQuantization=16\r\nOther=x\r\nDither=WHITE\r\n\r\n"
              "[InternalSetting]\r\nFFTuse=No\r\n\r\n");
}

TEST(MemIniText, RejectsNamesAndValuesThatWouldBreakTheFile)
{
    TMemIniFile ini;
    EXPECT_THROW(ini.WriteString("A", "x", "1\r\n[B]"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("A", "x=y", "1"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("A]", "x", "1"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("A", "", "1"), std::invalid_argument);
    // Reading trims blanks around a value, so writing them would lose them.
    EXPECT_THROW(ini.WriteString("A", "x", " 1"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("A", "x", "1\t"), std::invalid_argument);
    EXPECT_EQ(ini.GetText(), "");
}

TEST(MemIniText, WhatIsWrittenIsReadBack)
{
    TMemIniFile ini;
    ini.WriteString(" S ", " k ", "a b");
    EXPECT_EQ(ini.ReadString(" S ", " k ", "NoData"), "a b");
    EXPECT_TRUE(ini.SectionExists(" s"));
    EXPECT_TRUE(ini.ValueExists("S ", "\tK"));
    EXPECT_EQ(ini.GetText(), "[S]\r\nk=a b\r\n\r\n");

    // Byte-order marks before the first line are skipped, however many.
    for (const char* text : {"\xEF\xBB\xBF\xEF\xBB\xBF[S]\r\nk=1\r\n", "\xEF\xBB\xBF\r\n \xEF\xBB\xBF[S]\nk=1"}) {
        ini.SetText(text);
        EXPECT_EQ(ini.GetText(), "[S]\r\nk=1\r\n\r\n");
    }
}

TEST_F(MemIniFileTest, MissingFileStartsEmptyAndIsNotCreated)
{
    const fs::path p = FDir / "absent.cfg";
    TMemIniFile ini(p);
    EXPECT_EQ(ini.ReadString("FileAttribute", "VenderString", "NoData"), "NoData");
    EXPECT_FALSE(fs::exists(p));
}

TEST_F(MemIniFileTest, LfOnlyFilesAreRead)
{
    TMemIniFile lf(Write("lf.cfg", "[FileAttribute]\nVersion=1.0\nFileType=SystemSetting"));
    EXPECT_EQ(lf.ReadString("FileAttribute", "Version", "NoData"), "1.0");
    EXPECT_EQ(lf.ReadString("FileAttribute", "FileType", "NoData"), "SystemSetting");
}

TEST_F(MemIniFileTest, SaveKeepsForeignSectionsAndCommentsAndReadingLeavesTheFile)
{
    const std::string original = "; made by hand\r\n[Mine]\r\n; note\r\nA=1\r\n[PCMFormat]\r\nDither=PINK\r\n";
    fs::path p = Write("keep.cfg", original);
    {
        TMemIniFile ini(p);
        EXPECT_EQ(ini.ReadString("PCMFormat", "Dither", "NoData"), "PINK");
    }
    EXPECT_EQ(ReadText(p), original);
    TMemIniFile ini(p);
    ini.WriteString("PCMFormat", "Dither", "WHITE");
    ini.UpdateFile();
    EXPECT_EQ(ReadText(p), "; made by hand\r\n[Mine]\r\n; note\r\nA=1\r\n\r\n[PCMFormat]\r\nDither=WHITE\r\n\r\n");
    EXPECT_FALSE(fs::exists(FDir / "keep.cfg.new"));
}

// The names in a folder, sorted.
std::vector<std::string> Names(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Makes writing the target fail after the temporary file was made: on POSIX
// a file size limit stands in for a full disk; on Windows the target is held
// open without sharing, so nothing can replace it.
class TFailingWrite {
public:
    explicit TFailingWrite(const fs::path& target)
    {
#ifdef _WIN32
        FHandle = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(FHandle, INVALID_HANDLE_VALUE);
#else
        (void)target;
        getrlimit(RLIMIT_FSIZE, &FSaved);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = FSaved;
        small.rlim_cur = 8;
        setrlimit(RLIMIT_FSIZE, &small);
#endif
    }
    ~TFailingWrite()
    {
#ifdef _WIN32
        if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
#else
        setrlimit(RLIMIT_FSIZE, &FSaved);
        std::signal(SIGXFSZ, FOldHandler);
#endif
    }

private:
#ifdef _WIN32
    HANDLE FHandle = INVALID_HANDLE_VALUE;
#else
    rlimit FSaved{};
    void (*FOldHandler)(int) = nullptr;
#endif
};

TEST_F(MemIniFileTest, FailedWriteKeepsTheOldFile)
{
    const std::string original = "[A]\r\nx=1\r\n\r\n";
    fs::path p = Write("locked.cfg", original);
    TMemIniFile ini(p);
    ini.WriteString("A", "x", "22");
    {
        TFailingWrite failing(p);
        try {
            ini.UpdateFile();
            ADD_FAILURE() << "the save did not fail";
        } catch (const EIniFileError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Error - Cannot write the file \"" + p.string() + "\": ", 0), 0u) << e.what();
        }
    }
    EXPECT_EQ(ReadText(p), original);
    // Nothing is left beside it.
    EXPECT_EQ(Names(FDir.Path()), std::vector<std::string>{"locked.cfg"});
}

// A save writes the target and nothing else: files and folders that happen
// to carry a name the save might use for its temporary file stay as they
// are and block nothing.
TEST_F(MemIniFileTest, SaveLeavesOtherFilesOfTemporaryNamesAlone)
{
    const struct {
        const char* name;
        bool folder;
    } others[] = {
        {"s.cfg.new", false}, {"s.cfg.tmp0", false}, {"s.cfg.tmp1", true}, {"s.cfg.tmp2", false}, {"s.cfg.bak", false},
    };
    for (bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "over an existing file" : "a new file");
        wavtest::TScratchDir dir(existing ? "ini_over" : "ini_new");
        std::vector<std::string> expected{"s.cfg"};
        for (const auto& other : others) {
            if (other.folder)
                fs::create_directory(dir / other.name);
            else
                wavtest::WriteText(dir / other.name, std::string("mine: ") + other.name);
            expected.push_back(other.name);
        }
        std::sort(expected.begin(), expected.end());
        const fs::path p = dir / "s.cfg";
        if (existing) wavtest::WriteText(p, "[Mine]\r\nA=1\r\n");
        TMemIniFile ini(p);
        ini.WriteString("FileAttribute", "Version", "1.0");
        ini.UpdateFile();
        EXPECT_EQ(ReadText(p), existing ? "[Mine]\r\nA=1\r\n\r\n[FileAttribute]\r\nVersion=1.0\r\n\r\n"
                                        : "[FileAttribute]\r\nVersion=1.0\r\n\r\n");
        EXPECT_EQ(Names(dir.Path()), expected);
        for (const auto& other : others) {
            if (other.folder)
                EXPECT_TRUE(fs::is_directory(dir / other.name)) << other.name;
            else
                EXPECT_EQ(ReadText(dir / other.name), std::string("mine: ") + other.name);
        }
    }
}

TEST_F(MemIniFileTest, TargetThatIsAFolderIsAnErrorAndStaysAsItWas)
{
    const fs::path p = FDir / "folder.cfg";
    TMemIniFile ini(p);
    ini.WriteString("A", "x", "1");
    fs::create_directory(p);  // made meanwhile
    wavtest::WriteText(p / "inside.txt", "x");
    EXPECT_THROW(ini.UpdateFile(), EIniFileError);
    EXPECT_EQ(Names(FDir.Path()), std::vector<std::string>{"folder.cfg"});
    EXPECT_EQ(Names(p), std::vector<std::string>{"inside.txt"});
}

TEST_F(MemIniFileTest, WriteIntoMissingFolderFailsCleanly)
{
    TMemIniFile ini(FDir / "no" / "such" / "dir.cfg");
    ini.WriteString("A", "x", "1");
    EXPECT_THROW(ini.UpdateFile(), EIniFileError);
}

TEST_F(MemIniFileTest, OversizeFileIsAnErrorExactlyOneMiBIsRead)
{
    std::string body = "[A]\r\nx=1\r\n";
    std::string exact = body + std::string(TMemIniFile::MaxFileSize - body.size(), ' ');
    TMemIniFile ok(Write("exact.cfg", exact));
    EXPECT_EQ(ok.ReadString("A", "x", "NoData"), "1");
    EXPECT_THROW(TMemIniFile(Write("big.cfg", exact + " ")), EIniFileError);
}

}  // namespace
