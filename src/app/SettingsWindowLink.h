// Joins the settings window to the main window: Settings shows it, and it
// reaches the main window's records, ASIO channel pair and ASIO host through
// TSettingsOwner and TSettingsAsioHost.
#pragma once

class TFormMain;
class TFormSettings;

void ConnectSettingsWindow(TFormMain& Main, TFormSettings& Settings);
