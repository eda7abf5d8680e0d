#include "framework/MemIniFile.h"

#include "framework/OsFile.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

// Removes byte-order marks and blanks from the front of a line.
std::string_view SkipByteOrderMarks(std::string_view s)
{
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    for (;;) {
        s = Trim(s);
        if (s.substr(0, bom.size()) != bom) return s;
        s.remove_prefix(bom.size());
    }
}

}  // namespace

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

TMemIniFile::TMemIniFile(std::filesystem::path fileName) : FFileName(std::move(fileName))
{
    std::error_code ec;
    if (!std::filesystem::exists(FFileName, ec)) return;
    std::ifstream in(FFileName, std::ios::binary);
    if (!in) throw EIniFileError(CannotReadFileMessage(FFileName, "it cannot be opened"));
    std::string text;
    char buffer[64 * 1024];
    while (in) {
        in.read(buffer, sizeof buffer);
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > MaxFileSize)
            throw EIniFileError(CannotReadFileMessage(FFileName, "it is larger than 1 MiB"));
    }
    if (in.bad()) throw EIniFileError(CannotReadFileMessage(FFileName, "it cannot be read"));
    SetText(text);
}

void TMemIniFile::SetText(std::string_view text)
{
    FPreamble.clear();
    FSections.clear();
    FIndex.clear();
    bool first = true;
    while (!text.empty()) {
        std::size_t eol = text.find('\n');
        std::string_view raw = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        std::string_view line = first ? SkipByteOrderMarks(raw) : Trim(raw);
        if (line.empty()) continue;
        first = false;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            AddSection(std::string(Trim(line.substr(1, line.size() - 2))));
            continue;
        }
        if (FSections.empty()) {
            FPreamble.emplace_back(line);
            continue;
        }
        TLine entry;
        std::size_t eq = line.find('=');
        if (line.front() != ';' && eq != std::string_view::npos) {
            entry.Name = std::string(Trim(line.substr(0, eq)));
            entry.Value = std::string(Trim(line.substr(eq + 1)));
            entry.IsKey = true;
        } else {
            entry.Name = std::string(line);
        }
        FSections.back().Lines.push_back(std::move(entry));
    }
}

std::string TMemIniFile::GetText() const
{
    std::string out;
    for (const auto& line : FPreamble) out.append(line).append("\r\n");
    for (const auto& section : FSections) {
        out.append("[").append(section.Name).append("]\r\n");
        for (const auto& line : section.Lines) {
            out.append(line.Name);
            if (line.IsKey) out.append("=").append(line.Value);
            out.append("\r\n");
        }
        out.append("\r\n");
    }
    return out;
}

void TMemIniFile::AddSection(std::string name)
{
    FIndex[Lower(name)].push_back(FSections.size());
    FSections.push_back({std::move(name), {}});
}

const std::vector<std::size_t>* TMemIniFile::FindSections(std::string_view section) const
{
    auto it = FIndex.find(Lower(Trim(section)));
    return it == FIndex.end() ? nullptr : &it->second;
}

const TMemIniFile::TLine* TMemIniFile::FindKey(std::string_view section, std::string_view ident) const
{
    const auto* sections = FindSections(section);
    if (!sections) return nullptr;
    ident = Trim(ident);
    for (std::size_t index : *sections)
        for (const auto& line : FSections[index].Lines)
            if (line.IsKey && SameText(line.Name, ident)) return &line;
    return nullptr;
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view ident,
                                    std::string_view defaultValue) const
{
    const TLine* line = FindKey(section, ident);
    return std::string(line ? std::string_view(line->Value) : defaultValue);
}

void TMemIniFile::WriteString(std::string_view section, std::string_view ident, std::string_view value)
{
    section = Trim(section);
    ident = Trim(ident);
    if (section.empty() || HasLineBreak(section) || section.find(']') != std::string_view::npos)
        throw std::invalid_argument("invalid INI section name");
    if (ident.empty() || HasLineBreak(ident) || ident.find('=') != std::string_view::npos ||
        ident.front() == ';' || ident.front() == '[')
        throw std::invalid_argument("invalid INI key name");
    if (HasLineBreak(value)) throw std::invalid_argument("INI value with a line break");
    if (Trim(value).size() != value.size())
        throw std::invalid_argument("INI value with blanks at its start or end");

    if (const TLine* found = FindKey(section, ident)) {
        const_cast<TLine*>(found)->Value = std::string(value);
        return;
    }
    if (!FindSections(section)) AddSection(std::string(section));
    FSections[FindSections(section)->front()].Lines.push_back(
        {std::string(ident), std::string(value), true});
}

bool TMemIniFile::SectionExists(std::string_view section) const
{
    return FindSections(section) != nullptr;
}

bool TMemIniFile::ValueExists(std::string_view section, std::string_view ident) const
{
    return FindKey(section, ident) != nullptr;
}

std::vector<std::string> TMemIniFile::ReadSections() const
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < FSections.size(); ++i)
        if (FindSections(FSections[i].Name)->front() == i) names.push_back(FSections[i].Name);
    return names;
}

void TMemIniFile::UpdateFile() const
{
    if (FFileName.empty()) throw EIniFileError(CannotWriteFileMessage(FFileName, "no file name was given"));
    const std::string text = GetText();
    try {
        TReplacingFile file(FFileName);
        file.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        file.Commit();
    } catch (const EOsFileError& e) {
        throw EIniFileError(CannotWriteFileMessage(FFileName, e.what()));
    }
}
