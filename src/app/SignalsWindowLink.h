// Joins the signal editor to the main window: Signals shows it, and it reads
// and writes the main window's records through TSignalsOwner.
#pragma once

class TFormMain;
class TFormSignals;

void ConnectSignalsWindow(TFormMain& Main, TFormSignals& Signals);
