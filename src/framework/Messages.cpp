#include "framework/Messages.h"

#include "framework/Text.h"

#include <atomic>

namespace {

std::mutex SinkLock;
TMessageSink& CurrentSink()
{
    static TMessageSink sink;
    return sink;
}
std::atomic<unsigned> Serial{0};
thread_local unsigned MessageDepth = 0;

}  // namespace

void ShowMessage(const std::wstring& text)
{
    TMessageSink sink;
    {
        std::lock_guard<std::mutex> guard(SinkLock);
        sink = CurrentSink();
    }
    NoteModal();
    struct TDepth {
        TDepth() { ++MessageDepth; }
        ~TDepth() { --MessageDepth; }
    } depth;
    if (sink)
        sink(text);
    else
        PlatformShowMessage(text);
}

bool InsideMessage() { return MessageDepth > 0; }

TMessageSink SetMessageSink(TMessageSink sink)
{
    std::lock_guard<std::mutex> guard(SinkLock);
    TMessageSink previous = std::move(CurrentSink());
    CurrentSink() = std::move(sink);
    return previous;
}

void ReportException(std::exception_ptr error) noexcept
{
    try {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            ShowMessage(Utf8ToWide(e.what()));
        } catch (...) {
            ShowMessage(L"Error - Unexpected failure.");
        }
    } catch (...) {
        // Nothing more can be done when the sink itself fails.
    }
}

unsigned ModalSerial() { return Serial.load(); }
void NoteModal() { Serial.fetch_add(1); }

TMessageRecorder::TMessageRecorder()
{
    FPrevious = SetMessageSink([this](const std::wstring& text) {
        {
            std::lock_guard<std::mutex> guard(FLock);
            FMessages.push_back(text);
        }
        if (OnMessage) OnMessage(text);
    });
}

TMessageRecorder::~TMessageRecorder() { SetMessageSink(std::move(FPrevious)); }

std::vector<std::wstring> TMessageRecorder::Messages() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FMessages;
}

void TMessageRecorder::Clear()
{
    std::lock_guard<std::mutex> guard(FLock);
    FMessages.clear();
}
