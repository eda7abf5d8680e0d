// Joins the recording window to the main window: REC shows it, and it reaches
// the main window's state, writer and REC button through TRecordOwner.
#pragma once

class TFormMain;
class TFormRecord;

void ConnectRecordWindow(TFormMain& Main, TFormRecord& Record);
