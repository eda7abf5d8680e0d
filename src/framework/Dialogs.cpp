#include "framework/Dialogs.h"

#include "framework/Forms.h"
#include "framework/Messages.h"

#include <commdlg.h>

#include <vector>

std::wstring SystemFilter(const std::wstring& filter)
{
    std::wstring out = filter;
    for (wchar_t& c : out)
        if (c == L'|') c = L'\0';
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

bool TFileDialog::Execute(TForm* owner)
{
    std::vector<wchar_t> buffer(32768, L'\0');
    FileName.copy(buffer.data(), std::min(FileName.size(), buffer.size() - 1));
    const std::wstring filter = SystemFilter(FArgs.Filter);
    std::wstring ext = FArgs.DefaultExt;
    if (!ext.empty() && ext.front() == L'.') ext.erase(0, 1);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner ? owner->Handle() : nullptr;
    ofn.lpstrFilter = FArgs.Filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(FArgs.FilterIndex);
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = FArgs.InitialDir.empty() ? nullptr : FArgs.InitialDir.c_str();
    ofn.lpstrTitle = FArgs.Title.empty() ? nullptr : FArgs.Title.c_str();
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    if (FArgs.OverwritePrompt) ofn.Flags |= OFN_OVERWRITEPROMPT;
    if (FArgs.FileMustExist) ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    NoteModal();
    const BOOL ok = IsSave() ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!ok) return false;
    FileName = buffer.data();
    FArgs.FilterIndex = static_cast<int>(ofn.nFilterIndex);
    return true;
}
