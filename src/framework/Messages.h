// The one way the program shows a message to the user.
//
// Every message goes to the message sink. The default sink shows a task-modal
// box with no owner window, the caption "Error", an OK button and no icon;
// tests replace it with a recorder. The sink may be called from any thread.
#pragma once

#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

using TMessageSink = std::function<void(const std::wstring& text)>;

// Shows the text through the current sink.
void ShowMessage(const std::wstring& text);

// Installs a sink and returns the previous one; an empty sink restores the
// default one.
TMessageSink SetMessageSink(TMessageSink sink);

// Reports an exception that reached the boundary of the window layer: its
// text goes to the sink as it stands.
void ReportException(std::exception_ptr error) noexcept;

// True on a thread while it shows a message: a box's own message loop runs
// there, and whatever that loop handles runs inside the box.
bool InsideMessage();

// Counts the modal boxes and dialogs that have been shown on any thread; the
// window layer compares it before and after a focus change to learn whether a
// box interrupted a mouse click.
unsigned ModalSerial();
void NoteModal();

// The platform's own sink (a message box on Windows, standard error
// elsewhere).
void PlatformShowMessage(const std::wstring& text);

// Replaces the sink for its lifetime and records every message.
class TMessageRecorder {
public:
    TMessageRecorder();
    ~TMessageRecorder();
    TMessageRecorder(const TMessageRecorder&) = delete;
    TMessageRecorder& operator=(const TMessageRecorder&) = delete;

    std::vector<std::wstring> Messages() const;
    void Clear();
    // Called after each recorded message, on the thread that showed it.
    std::function<void(const std::wstring&)> OnMessage;

private:
    mutable std::mutex FLock;
    std::vector<std::wstring> FMessages;
    TMessageSink FPrevious;
};
