# Sourced by the end-to-end scripts that play the heaviest seconds (after
# scripts/e2e-lib.sh, with the main window started and ctl defined).
#
# load_heavy_set RATE: RATE Hz, 32 bits, DITHER with white dither and
# 2nd-order shaping, the transforms on, 50 ms segments (a settings file
# loaded in the settings window); a 1000 Hz sine with 16 Hz warble in bursts
# of 10 on and 5 off, a 3000 Hz square on L, a 5000 Hz triangle with 8 Hz
# warble on R, a 7000 Hz saw, a 5 s log sweep from 20 Hz to 150000 Hz (or the
# rate's highest frequency) and pink noise at -30 dB (a signal set file
# loaded in the signal editor).
load_heavy_set() {
  local rate="$1" cfg="$KRV_E2E_DIR/heavy-$1.cfg" stop
  krv_settings_file "$cfg" "SamplingRate=$rate" Quantization=32 Rounding=DITHER NoiseShaping=2nd WavBufferSize=50 FFTuse=Use
  krv_load_settings "$cfg" ComboBoxEx_SamplingRate "$rate"
  ctl press BitBtnExt_Close || krv_fail "the settings window's CLOSE"
  krv_expect_eq "$(ctl text Label_Fs_Value)" "$rate" "sampling rate shown"
  krv_expect_eq "$(ctl text Label_Quant_Value)" 32 "quantization shown"

  stop=$((rate / 2 - 1 < 150000 ? rate / 2 - 1 : 150000))
  ctl press BitBtnExt_Signals || krv_fail "Signals"
  krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
  krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/start-up.sig"
  for _ in $(seq 50); do [ -s "$KRV_E2E_DIR/start-up.sig" ] && break; sleep 0.1; done
  krv_edit_signal_set "$KRV_E2E_DIR/start-up.sig" "$KRV_E2E_DIR/heavy.sig" \
    "0:Frequency=1000" "0:WarbleCycle=16 Hz" "0:CycleOn=10" "0:CycleOff=5" "0:OutputChannel=L R" \
    "1:Waveform=SQUARE" "1:Frequency=3000" "1:OutputChannel=Lch" \
    "2:Waveform=TRIANGLE" "2:Frequency=5000" "2:WarbleCycle=8 Hz" "2:OutputChannel=Rch" \
    "3:Waveform=SAW" "3:Frequency=7000" "3:OutputChannel=L R" \
    "4:SweepType=LOG" "4:SweepPeriod=5" "4:SweepFrequencyStart=20" "4:SweepFrequencyStop=$stop" "4:OutputChannel=L R" \
    "5:NoiseType=PINK" "5:Amplitude=-30" "5:OutputChannel=L R" || krv_fail "no signal set to change"
  krv_file_dialog BitBtnExt_Load "$KRV_E2E_DIR/heavy.sig"
  krv_no_error_box "loading heavy.sig"
  krv_expect_eq "$(ctl text EditHex_Freq_4)" 7000 "frequency of signal 4 after loading"
  ctl press BitBtnExt_Close || krv_fail "the signal editor's CLOSE"
  krv_no_error_box "the signal editor's CLOSE"
}
