// The sound-out thread's seconds: the first one of a play, the next one made
// ahead while the current one plays, and both quantised again when the
// gains change.
#include "app/UnitThread.h"

void TThreadSoundOut::GenerateOneSecond(bool First) {
  if (First) {
    FSynthesizer.Begin(FSettings.Signals, TGeneratorChoice::_Direct);
    FSynthesizer.Mix(WaveBufferExtendedStereo);
    FSeed = FSynthesizer.Seed();
    FAhead = TAhead::_None;
    RequantizeOneSecond();
    return;
  }
  // The second made ahead becomes the current one; what is still missing of
  // it (the boundary came first) is made now.
  while (FAhead != TAhead::_Ready) MakeAhead();
  WaveBufferExtendedStereo.swap(FNextStereo);
  WaveBufferL.swap(FNextL);
  WaveBufferR.swap(FNextR);
  FSeed = FNextSeed;
  FAhead = TAhead::_None;
}

// A timed play makes no second past its last.
bool TThreadSoundOut::NextSecondComes() const {
  const TInternalSetting& setting = FSettings.Signals.InternalSetting;
  return !(setting._Repeat == TRepeat::_Single && (FLastSegment || FPlayTime + 1 == setting._PlayTime));
}

// One step of the next second: its sweep and noise, its mix, its
// quantisation with the gains in force.
void TThreadSoundOut::MakeAhead() {
  switch (FAhead) {
    case TAhead::_None:
      FSynthesizer.Advance();
      FNextSeed = FSynthesizer.Seed();
      FAhead = TAhead::_Generated;
      break;
    case TAhead::_Generated:
      FSynthesizer.Mix(FNextStereo);
      FAhead = TAhead::_Mixed;
      break;
    case TAhead::_Mixed:
      Quantize(FNextStereo, FNextSeed, FNextL, FNextR);
      FAhead = TAhead::_Ready;
      break;
    case TAhead::_Ready:
      break;
  }
}

// New gains: the segments still to be written carry them. The second that
// the next write takes from is quantised again at once: the current one
// while some of it is still to be written, else the next one when it is
// mixed already (a next second not mixed yet takes the new gains when its
// turn comes). The other one is quantised again as a step of the next
// second, or not at all once its segments are written.
void TThreadSoundOut::ChangeGains() {
  if (FAhead == TAhead::_Ready) FAhead = TAhead::_Mixed;
  if (FCount + 1 < FCountMax || !NextSecondComes()) {
    RequantizeOneSecond();
  } else if (FAhead == TAhead::_Mixed) {
    MakeAhead();
  }
  SendDisplay(kDisplayCharts, false);
}

void TThreadSoundOut::RequantizeOneSecond() {
  // With the second's own seed: a gain change keeps its dither.
  Quantize(WaveBufferExtendedStereo, FSeed, WaveBufferL, WaveBufferR);
}

void TThreadSoundOut::Quantize(const TWaveBufferExtendedStereo& Stereo, std::uint32_t Seed, TWaveBufferInteger& Left,
                               TWaveBufferInteger& Right) {
  // Written over storage that no second holds and swapped in: a playing
  // second allocates nothing.
  FEngine.QuantizeSignalInto(FSettings.Signals.PCMFormat, FSettings.Gains.Left(), FSettings.Gains.Right(), Stereo,
                             Seed, FQuantized);
  Left.swap(FQuantized[0]);
  Right.swap(FQuantized[1]);
}
