#include "framework/MemIniFile.h"

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
    if (!in) throw EIniFileError("Cannot open file \"" + FFileName.string() + "\".");
    std::string text;
    char buffer[64 * 1024];
    while (in) {
        in.read(buffer, sizeof buffer);
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > MaxFileSize)
            throw EIniFileError("File \"" + FFileName.string() + "\" is larger than 1 MiB.");
    }
    if (in.bad()) throw EIniFileError("Cannot read file \"" + FFileName.string() + "\".");
    SetText(text);
}

void TMemIniFile::SetText(std::string_view text)
{
    FPreamble.clear();
    FSections.clear();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty()) {
        std::size_t eol = text.find('\n');
        std::string_view raw = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        std::string_view line = Trim(raw);
        if (line.empty()) continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            FSections.push_back({std::string(Trim(line.substr(1, line.size() - 2))), {}});
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
    for (const auto& line : FPreamble) out += line + "\r\n";
    for (const auto& section : FSections) {
        out += "[" + section.Name + "]\r\n";
        for (const auto& line : section.Lines)
            out += line.IsKey ? line.Name + "=" + line.Value + "\r\n" : line.Name + "\r\n";
        out += "\r\n";
    }
    return out;
}

const TMemIniFile::TLine* TMemIniFile::FindKey(std::string_view section, std::string_view ident) const
{
    for (const auto& s : FSections) {
        if (!SameText(s.Name, section)) continue;
        for (const auto& line : s.Lines)
            if (line.IsKey && SameText(line.Name, ident)) return &line;
    }
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

    for (auto& s : FSections) {
        if (!SameText(s.Name, section)) continue;
        for (auto& line : s.Lines) {
            if (line.IsKey && SameText(line.Name, ident)) {
                line.Value = std::string(value);
                return;
            }
        }
    }
    for (auto& s : FSections) {
        if (SameText(s.Name, section)) {
            s.Lines.push_back({std::string(ident), std::string(value), true});
            return;
        }
    }
    FSections.push_back({std::string(section), {{std::string(ident), std::string(value), true}}});
}

bool TMemIniFile::SectionExists(std::string_view section) const
{
    for (const auto& s : FSections)
        if (SameText(s.Name, section)) return true;
    return false;
}

bool TMemIniFile::ValueExists(std::string_view section, std::string_view ident) const
{
    return FindKey(section, ident) != nullptr;
}

std::vector<std::string> TMemIniFile::ReadSections() const
{
    std::vector<std::string> names;
    for (const auto& s : FSections) {
        bool seen = false;
        for (const auto& n : names) seen = seen || SameText(n, s.Name);
        if (!seen) names.push_back(s.Name);
    }
    return names;
}

void TMemIniFile::UpdateFile() const
{
    if (FFileName.empty()) throw EIniFileError("No file name given.");
    const std::string text = GetText();
    std::filesystem::path temp = FFileName;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) throw EIniFileError("Cannot create file \"" + FFileName.string() + "\".");
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            throw EIniFileError("Cannot write file \"" + FFileName.string() + "\".");
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, FFileName, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw EIniFileError("Cannot write file \"" + FFileName.string() + "\".");
    }
}
