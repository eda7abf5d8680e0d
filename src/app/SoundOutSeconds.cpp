// The sound-out thread's seconds: the first one of a play, the next one
// taken at each boundary, and new gains, all made by the thread's second
// maker, so that the thread serves its commands from the first moment.
#include "app/UnitThread.h"

#include <stdexcept>

TQuantizeGains TThreadSoundOut::Gains() const {
  return {FSettings.Gains.Left(), FSettings.Gains.Right(), FGainsVersion};
}

// The maker makes the first second while the thread serves commands; it
// comes with the gains the thread has when its mix is done.
void TThreadSoundOut::BeginSeconds() {
  ++FGainsVersion;
  FMaker.Begin(FSettings.Signals, Gains(), NextSecondComes());
}

bool TThreadSoundOut::TakeFirstSecond() {
  if (FMaker.Failed()) throw std::runtime_error("the first second could not be made");
  return FMaker.TakeFirst(WaveBufferL, WaveBufferR);
}

bool TThreadSoundOut::GenerateOneSecond() {
  // Made while the last one played; when it was not, the maker goes at it
  // before anything else and the thread looks again at its next pass.
  return FMaker.TakeNext(NextSecondComes(), WaveBufferL, WaveBufferR);
}

// A timed play makes no second past its last.
bool TThreadSoundOut::NextSecondComes() const {
  const TInternalSetting& setting = FSettings.Signals.InternalSetting;
  return !(setting._Repeat == TRepeat::_Single && (FFlow == TFlow::_LastSegment || FPlayTime + 1 == setting._PlayTime));
}

// New gains: the segments written once the second they come from is
// quantised with them carry them. The maker quantises again first the
// second that the next write takes from: the current one while some of it
// is still to be written (and the next one has time to spare), else the
// next one. Nothing waits for it: until then the device gets the segments
// as they were, and is never left dry.
void TThreadSoundOut::ChangeGains() {
  ++FGainsVersion;
  FMaker.ChangeGains(Gains(), FFlow != TFlow::_AwaitingSecond && (FCount + 1 < FCountMax || !NextSecondComes()));
}

// The current second quantised with the newest gains, when the maker has
// it: the segments still to be written and the charts take it.
void TThreadSoundOut::TakeRequantized() {
  if (FMaker.Failed()) throw std::runtime_error("the seconds could not be made");
  if (FMaker.TakeRequantized(WaveBufferL, WaveBufferR)) SendDisplay(kDisplayCharts, false);
}
