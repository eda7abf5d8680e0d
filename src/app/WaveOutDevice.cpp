// The wave mapper through the multimedia wave-out functions.
//
// The data model names its own copies of the wave format record and the wave
// header tWAVEFORMATEX and wavehdr_tag, the tags that mmsystem.h uses too;
// the system's records get other tags in this file (their names WAVEFORMATEX
// and WAVEHDR are unchanged).
#include <windows.h>
#define tWAVEFORMATEX SystemWaveFormatEx
#define wavehdr_tag SystemWaveHdr
#include <mmsystem.h>
#undef wavehdr_tag
#undef tWAVEFORMATEX

#include <cstddef>

#include "app/Win32ThreadPlatform.h"

static_assert(sizeof(WAVEFORMATEX) == sizeof(tWAVEFORMATEX));
static_assert(sizeof(WAVEHDR) == sizeof(wavehdr_tag));
static_assert(offsetof(WAVEHDR, dwBufferLength) == offsetof(wavehdr_tag, dwBufferLength) &&
              offsetof(WAVEHDR, dwUser) == offsetof(wavehdr_tag, dwUser) &&
              offsetof(WAVEHDR, dwFlags) == offsetof(wavehdr_tag, dwFlags) &&
              offsetof(WAVEHDR, dwLoops) == offsetof(wavehdr_tag, dwLoops) &&
              offsetof(WAVEHDR, lpNext) == offsetof(wavehdr_tag, lpNext) &&
              offsetof(WAVEHDR, reserved) == offsetof(wavehdr_tag, reserved));
static_assert(WHDR_BEGINLOOP == WaveHdrBeginLoop && WHDR_ENDLOOP == WaveHdrEndLoop);
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
WAVEHDR* SystemHeader(PWaveHdr Header) { return reinterpret_cast<WAVEHDR*>(Header); }

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

std::uint32_t TWin32WaveOutDevice::PrepareHeader(PWaveHdr Header) {
  return waveOutPrepareHeader(Handle(FHandle), SystemHeader(Header), sizeof(WAVEHDR));
}

std::uint32_t TWin32WaveOutDevice::Write(PWaveHdr Header) {
  return waveOutWrite(Handle(FHandle), SystemHeader(Header), sizeof(WAVEHDR));
}

std::uint32_t TWin32WaveOutDevice::Reset() { return waveOutReset(Handle(FHandle)); }

std::uint32_t TWin32WaveOutDevice::UnprepareHeader(PWaveHdr Header) {
  return waveOutUnprepareHeader(Handle(FHandle), SystemHeader(Header), sizeof(WAVEHDR));
}

std::uint32_t TWin32WaveOutDevice::Close() {
  const MMRESULT result = waveOutClose(Handle(FHandle));
  if (result == MMSYSERR_NOERROR) FHandle = nullptr;
  return result;
}

std::uint32_t TWin32WaveOutDevice::Position(std::uint64_t& Played) {
  MMTIME time{};
  time.wType = TIME_BYTES;
  const MMRESULT result = waveOutGetPosition(Handle(FHandle), &time, sizeof(time));
  if (result != MMSYSERR_NOERROR) return result;
  // A device that cannot count bytes answers in a unit it can.
  switch (time.wType) {
    case TIME_BYTES: Played = time.u.cb; break;
    case TIME_SAMPLES: Played = time.u.sample; break;
    case TIME_MS: Played = time.u.ms; break;
    default: Played = time.u.ticks; break;
  }
  return result;
}
