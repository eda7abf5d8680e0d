// The wave mapper through the multimedia wave-out functions.
//
// The data model names its own copy of the wave format record tWAVEFORMATEX,
// the tag that mmsystem.h uses too; the system's record gets another tag in
// this file (its name WAVEFORMATEX is unchanged).
#include <windows.h>
#define tWAVEFORMATEX SystemWaveFormatEx
#include <mmsystem.h>
#undef tWAVEFORMATEX

#include "app/Win32ThreadPlatform.h"

static_assert(sizeof(WAVEFORMATEX) == sizeof(tWAVEFORMATEX));
static_assert(sizeof(HWAVEOUT) == sizeof(void*) && sizeof(DWORD_PTR) == sizeof(void*));

namespace {

// Runs on the system's thread: nothing but handing the message on.
void CALLBACK WaveOutProc(HWAVEOUT, UINT Message, DWORD_PTR Instance, DWORD_PTR, DWORD_PTR) {
  auto* client = reinterpret_cast<TWaveOutClient*>(Instance);
  switch (Message) {
    case WOM_OPEN: client->WaveOutMessage(TWaveOutCallback::_OpenWaveOut); break;
    case WOM_CLOSE: client->WaveOutMessage(TWaveOutCallback::_CloseWaveOut); break;
    case WOM_DONE: client->WaveOutMessage(TWaveOutCallback::_DoneWaveOut); break;
    default: break;
  }
}

HWAVEOUT Handle(void* Handle) { return static_cast<HWAVEOUT>(Handle); }

}  // namespace

TWin32WaveOutDevice::~TWin32WaveOutDevice() {
  if (FHandle) waveOutClose(Handle(FHandle));
}

std::uint32_t TWin32WaveOutDevice::DeviceCount() { return waveOutGetNumDevs(); }

std::uint32_t TWin32WaveOutDevice::Open(const TWaveFormatExtensible& Format, TWaveOutClient& Client) {
  HWAVEOUT handle = nullptr;
  const MMRESULT result =
      waveOutOpen(&handle, WAVE_MAPPER, reinterpret_cast<const WAVEFORMATEX*>(&Format),
                  reinterpret_cast<DWORD_PTR>(&WaveOutProc), reinterpret_cast<DWORD_PTR>(&Client),
                  CALLBACK_FUNCTION);
  FHandle = result == MMSYSERR_NOERROR ? handle : nullptr;
  return result;
}

std::size_t TWin32WaveOutDevice::HeaderSize() const { return sizeof(WAVEHDR); }

std::uint32_t TWin32WaveOutDevice::PrepareHeader(void* Header, void* Data, std::uint32_t Bytes) {
  auto* header = static_cast<WAVEHDR*>(Header);
  *header = WAVEHDR{};
  header->lpData = static_cast<LPSTR>(Data);
  header->dwBufferLength = Bytes;
  header->dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
  header->dwLoops = 1;
  return waveOutPrepareHeader(Handle(FHandle), header, sizeof(WAVEHDR));
}

std::uint32_t TWin32WaveOutDevice::Write(void* Header) {
  return waveOutWrite(Handle(FHandle), static_cast<WAVEHDR*>(Header), sizeof(WAVEHDR));
}

std::uint32_t TWin32WaveOutDevice::Reset() { return waveOutReset(Handle(FHandle)); }

std::uint32_t TWin32WaveOutDevice::UnprepareHeader(void* Header) {
  return waveOutUnprepareHeader(Handle(FHandle), static_cast<WAVEHDR*>(Header), sizeof(WAVEHDR));
}

std::uint32_t TWin32WaveOutDevice::Close() {
  const MMRESULT result = waveOutClose(Handle(FHandle));
  if (result == MMSYSERR_NOERROR) FHandle = nullptr;
  return result;
}
