// The in-memory INI document against arbitrary input: a read document is
// written back the same way every time, every value written is read back as
// it was (or the write is refused), and a saved document reloads unchanged.
// Values also go through the UTF-8 conversion of the window layer, which
// must give valid text back byte for byte.
#include "framework/MemIniFile.h"
#include "framework/Text.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

void Require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "INI document: %s\n", what);
    std::abort();
}

void CheckUtf8RoundTrip(const std::string& text)
{
    const std::wstring wide = Utf8ToWide(text);
    if (wide.find(L'\uFFFD') != std::wstring::npos) return;  // invalid text, or a U+FFFD of its own
    Require(WideToUtf8(wide) == text, "valid UTF-8 does not come back from the wide string");
}

const std::filesystem::path& TempFile()
{
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("krv_fuzz_ini_" + std::to_string(getpid()) + ".ini");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    TMemIniFile ini;
    ini.SetText(input.ConsumeRandomLengthString(TMemIniFile::MaxFileSize));
    const std::string text = ini.GetText();
    TMemIniFile reread;
    reread.SetText(text);
    Require(reread.GetText() == text, "a document read back is written differently");
    Require(reread.ReadSections() == ini.ReadSections(), "sections differ after reading back");

    while (input.remaining_bytes() > 0) {
        const std::string section = input.ConsumeRandomLengthString(32);
        const std::string ident = input.ConsumeRandomLengthString(32);
        const std::string value = input.ConsumeRandomLengthString(64);
        try {
            ini.WriteString(section, ident, value);
        } catch (const std::invalid_argument&) {
            continue;
        }
        Require(ini.SectionExists(section) && ini.ValueExists(section, ident), "written key missing");
        Require(ini.ReadString(section, ident, "") == value, "written value reads back differently");
        CheckUtf8RoundTrip(value);
    }

    std::filesystem::remove(TempFile());
    TMemIniFile saved(TempFile());
    saved.SetText(ini.GetText());
    saved.UpdateFile();
    Require(TMemIniFile(TempFile()).GetText() == ini.GetText(), "saved document reloads differently");
    std::filesystem::remove(TempFile());
    return 0;
}
