// Every window of the program, made as the program makes them at start-up,
// under Wine: each text of each label, button, list and edit reads in full
// with the control's own font within the room the control gives it, every
// control lies inside its parent (texts clear of a panel's bevel), and every
// unit stands beside its field. The main window on each channel page, the
// settings and signal windows on each of their pages.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/RecordWindowLink.h"
#include "app/SettingsWindowLink.h"
#include "app/SignalsWindowLink.h"
#include "app/UnitMain.h"
#include "dialogs/UnitNumericPad.h"
#include "dialogs/UnitRecord.h"
#include "dialogs/UnitSettings.h"
#include "dialogs/UnitSignals.h"
#include "framework/TextFitSupport.h"
#include "framework/WinTestSupport.h"

namespace {

void CollectPageControls(const TControl& Root, std::vector<TPageControl*>& Found) {
  const auto* parent = dynamic_cast<const TWinControl*>(&Root);
  if (!parent) return;
  for (TControl* child : parent->Controls()) {
    if (auto* pages = dynamic_cast<TPageControl*>(child)) Found.push_back(pages);
    CollectPageControls(*child, Found);
  }
}

// The faults of a shown window with each page of its page controls shown in
// turn.
std::set<std::string> FaultsOnEveryPage(TForm& Form) {
  std::set<std::string> faults;
  std::vector<TPageControl*> pageControls;
  CollectPageControls(Form, pageControls);
  const auto take = [&] {
    Pump(30);
    for (std::string& fault : textfit::WindowTextFaults(Form)) faults.insert(std::move(fault));
  };
  take();
  for (TPageControl* pages : pageControls) {
    const int shown = pages->ActivePageIndex();
    for (int i = 0; i < pages->PageCount(); ++i) {
      pages->SetActivePageIndex(i);
      take();
    }
    pages->SetActivePageIndex(shown);
  }
  return faults;
}

std::string Lines(const std::set<std::string>& Faults) {
  std::string text;
  for (const std::string& fault : Faults) text += "  " + fault + "\n";
  return text;
}

class WindowText : public ::testing::Test {
 protected:
  void SetUp() override {
    Application.Initialize();
    Application.SetTitle(L"KRV-2400");
    Main = Application.CreateForm<TFormMain>();
    Application.CreateForm<TFormNumericPad>();
    ConnectSettingsWindow(*Main, *Application.CreateForm<TFormSettings>());
    ConnectSignalsWindow(*Main, *Application.CreateForm<TFormSignals>());
    ConnectRecordWindow(*Main, *Application.CreateForm<TFormRecord>());
    Main->Show();
    Pump(200);
  }
  void TearDown() override {
    Application.DestroyForms();
    Pump(20);
  }
  TFormMain* Main = nullptr;
};

TEST_F(WindowText, TheMainWindowOnEveryChannelPage) {
  std::set<std::string> faults = FaultsOnEveryPage(*Main);
  // Global, the four signals, the sweep and noise pair: each shows its panels.
  for (int page = 0; page < 6; ++page) {
    SendMessageW(Main->BitBtnExt_Channel->Handle(), BM_CLICK, 0, 0);
    faults.merge(FaultsOnEveryPage(*Main));
  }
  EXPECT_TRUE(faults.empty()) << Lines(faults);
}

TEST_F(WindowText, EveryDialogOnEveryPage) {
  for (TForm* form : std::initializer_list<TForm*>{FormNumericPad, FormSettings, FormSignals, FormRecord}) {
    SCOPED_TRACE(WideToUtf8(form->Name()));
    form->Show();
    const std::set<std::string> faults = FaultsOnEveryPage(*form);
    EXPECT_TRUE(faults.empty()) << Lines(faults);
    form->Hide();
    Pump(20);
  }
}

// With ASIO chosen the output page shows the installed drivers by name and
// the channel pairs of the first one.
TEST_F(WindowText, TheSettingsWindowWithAsioChosen) {
  FormSettings->Show();
  FormSettings->PageControl_Global->SetActivePageIndex(1);
  FormSettings->Model().Pick(TSettingsList::_Device, 1);
  Pump(50);
  ASSERT_TRUE(IsWindowVisible(FormSettings->ComboBoxEx_AsioDevice->Handle()));
  ASSERT_GT(FormSettings->ComboBoxEx_AsioDevice->ItemCount(), 1);
  const std::set<std::string> faults = FaultsOnEveryPage(*FormSettings);
  EXPECT_TRUE(faults.empty()) << Lines(faults);
}

}  // namespace
