// Open and save file dialogs.
//
//   TOpenDialog dialog({.Filter = L"Configuration File (*.cfg)|*.cfg|All File (*.*)|*.*",
//                       .DefaultExt = L"cfg", .FileName = L"Settings.cfg"});
//   if (dialog.Execute(form)) Load(dialog.FileName);
#pragma once

#include <string>

class TForm;

struct TFileDialogArgs {
    std::wstring FileName{};     // preset name
    std::wstring Filter{};       // "description|pattern|description|pattern"
    int FilterIndex = 1;       // 1 = first entry
    std::wstring DefaultExt{};   // added when the user types no extension
    std::wstring Title{};
    std::wstring InitialDir{};
    bool OverwritePrompt = false;
    bool FileMustExist = false;
};

class TFileDialog {
public:
    explicit TFileDialog(const TFileDialogArgs& args) : FileName(args.FileName), FArgs(args) {}
    virtual ~TFileDialog() = default;
    // Shows the dialog; true when the user confirmed (FileName then holds
    // the chosen file).
    bool Execute(TForm* owner = nullptr);
    std::wstring FileName{};
    int FilterIndex() const { return FArgs.FilterIndex; }

protected:
    virtual bool IsSave() const = 0;
    TFileDialogArgs FArgs;
};

class TOpenDialog : public TFileDialog {
public:
    using TFileDialog::TFileDialog;

protected:
    bool IsSave() const override { return false; }
};

class TSaveDialog : public TFileDialog {
public:
    using TFileDialog::TFileDialog;

protected:
    bool IsSave() const override { return true; }
};

// The filter text in the system's form (entries separated by NUL, two NULs
// at the end).
std::wstring SystemFilter(const std::wstring& filter);
