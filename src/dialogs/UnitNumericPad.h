// The numeric keypad window "TFormNumericPad": fifteen keys over the keypad
// model (NumericPadModel.h). It is created hidden at start-up, right after
// the main window.
#pragma once

#include "controls/BitBtnExt.h"
#include "dialogs/NumericPadModel.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"

class TFormNumericPad final : public TForm {
 public:
  TFormNumericPad();
  ~TFormNumericPad() override;

  // --- Window components ------------------------------------------------------
  TImage* Image_NumericPad;
  TPanel* Panel_NumericPad;
  TBitBtnExt *BitBtnExt_7, *BitBtnExt_8, *BitBtnExt_9, *BitBtnExt_Minus;
  TBitBtnExt *BitBtnExt_4, *BitBtnExt_5, *BitBtnExt_6, *BitBtnExt_Plus;
  TBitBtnExt *BitBtnExt_1, *BitBtnExt_2, *BitBtnExt_3, *BitBtnExt_Clr;
  TBitBtnExt *BitBtnExt_0, *BitBtnExt_Dot, *BitBtnExt_Enter;

  // The attribute, its bounds and stored values, and the entry.
  TNumericPadModel Pad;

  void FormShow(TControl*) { Pad.FormShow(); }
};

extern TFormNumericPad* FormNumericPad;
