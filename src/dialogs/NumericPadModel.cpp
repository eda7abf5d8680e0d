#include "dialogs/NumericPadModel.h"

#include <limits>

void TNumericPadModel::FormShow() {
  *this = TNumericPadModel{};
  (void)FInputDecimal;
  (void)FTmpExtended;
}

void TNumericPadModel::KeyClick(TKeyType Key) {
  FKeyData = Key;
  DispatchKey();
}

void TNumericPadModel::DispatchKey() {
  switch (FSelectSignalAttribute) {
    case TSelectSignalAttributeItem::_Frequency: EnterFrequency(); break;
    case TSelectSignalAttributeItem::_Amplitude: EnterAmplitude(); break;
    case TSelectSignalAttributeItem::_Phase: EnterPhase(); break;
    case TSelectSignalAttributeItem::_Offset: EnterOffset(); break;
    case TSelectSignalAttributeItem::_Cycle: EnterCycle(); break;
    case TSelectSignalAttributeItem::_Period: EnterPeriod(); break;
    case TSelectSignalAttributeItem::_Unselected: break;
  }
}

void TNumericPadModel::EnterValue(std::int32_t Min, std::int32_t Max, std::int32_t& Stored) {
  const TNumericKeyResult result = InterpretKey(Min, Max, FTmpInteger, Stored);
  FTmpInteger = result.Value;
  if (result.Done) Stored = result.Value;
}

TNumericKeyResult TNumericPadModel::InterpretKey(std::int32_t Min, std::int32_t Max, std::int32_t Entry,
                                                 std::int32_t Stored) {
  FEnableNumericKey = true;
  if (FKeyData == TKeyType::_Enter) {
    FEnableNumericKey = false;
    return {true, Min <= Entry && Entry <= Max ? Entry : Stored};
  }
  if (Entry >= Max / 10) return {};  // full: any key but Enter starts again

  std::int64_t next = 0;
  switch (FKeyData) {
    case TKeyType::_CLR: return {};
    case TKeyType::_Plus: next = std::int64_t(Entry) + 1; break;
    case TKeyType::_Minus: next = std::int64_t(Entry) - 1; break;
    case TKeyType::_0: case TKeyType::_1: case TKeyType::_2: case TKeyType::_3: case TKeyType::_4:
    case TKeyType::_5: case TKeyType::_6: case TKeyType::_7: case TKeyType::_8: case TKeyType::_9:
      next = std::int64_t(Entry) * 10 + (int(FKeyData) - int(TKeyType::_0));
      break;
    default: return {true, Stored};  // "." and anything else: back to the stored value
  }
  if (next < std::numeric_limits<std::int32_t>::min() || next > std::numeric_limits<std::int32_t>::max())
    return {};
  return {false, std::int32_t(next)};
}
