// In-memory INI document.
//
// Rules: section and key names match without regard to ASCII letter case,
// values exactly; blanks around names and values are trimmed when a file is
// read, and around the names a caller gives; lines before the first section,
// comment lines (";") and lines without "=" are not keys, but they are kept
// and written back. When a section or key occurs twice the first one wins.
// Byte-order marks before the first line that holds anything are skipped and
// both CR LF and LF line ends are read; the document is written with CR LF,
// one empty line after each section. A value written is read back as it was:
// WriteString refuses what the file cannot hold (line breaks, and blanks at
// either end of a value, which reading would trim).
//
// Sections are found through an index, so every operation takes time in
// proportion to the size of the document at most.
//
// Reading accepts files of at most MaxFileSize bytes; a larger or unreadable
// file raises EIniFileError. UpdateFile writes the whole document through a
// TReplacingFile (framework/OsFile.h): a temporary file of its own beside the
// target, renamed over the target, so a failed write leaves the old file as
// it was and no other file is ever touched; its EIniFileError is the message
// every window shows for a file that cannot be written
// (CannotWriteFileMessage).
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class EIniFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TMemIniFile {
public:
    static constexpr std::uintmax_t MaxFileSize = 1024 * 1024;

    TMemIniFile() = default;
    // Loads the file when it exists, else starts empty.
    explicit TMemIniFile(std::filesystem::path fileName);

    const std::filesystem::path& FileName() const { return FFileName; }

    std::string ReadString(std::string_view section, std::string_view ident,
                           std::string_view defaultValue) const;
    // Replaces the value of the first key of that name, or appends the key to
    // the first section of that name, or appends a new section.
    void WriteString(std::string_view section, std::string_view ident, std::string_view value);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view ident) const;
    std::vector<std::string> ReadSections() const;

    // The document as text (CR LF line ends) and back.
    std::string GetText() const;
    void SetText(std::string_view text);

    // Writes the document to FileName().
    void UpdateFile() const;

private:
    struct TLine {
        std::string Name;   // key name, or the whole line when it is no key
        std::string Value;
        bool IsKey = false;
    };
    struct TSection {
        std::string Name;
        std::vector<TLine> Lines;
    };

    const TLine* FindKey(std::string_view section, std::string_view ident) const;
    // Indices into FSections of the sections of that name, in file order.
    const std::vector<std::size_t>* FindSections(std::string_view section) const;
    void AddSection(std::string name);

    std::filesystem::path FFileName;
    std::vector<std::string> FPreamble;  // lines before the first section
    std::vector<TSection> FSections;
    // Lower-case section name -> its sections.
    std::unordered_map<std::string, std::vector<std::size_t>> FIndex;
};

// ASCII case-insensitive comparison of names.
bool SameText(std::string_view a, std::string_view b);
