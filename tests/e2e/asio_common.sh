# Helpers of the end-to-end tests that play through the test ASIO driver
# (sourced after scripts/e2e-lib.sh and krv_e2e_setup). The driver captures
# each output channel into its own file: $KRV_E2E_DIR/out-N.cap while it
# plays (WAV data for the little-endian types, raw bytes for the others).

asio_capture_pattern="$KRV_E2E_DIR/out-%d.cap"
export KRV_TEST_ASIO_CAPTURE="$(_krv_winepath "$asio_capture_pattern")"
export KRV_TEST_ASIO_LOG="$(_krv_winepath "$KRV_E2E_DIR/driver.log")"

# Every krvctl call is bounded, so that a program that stops answering fails
# the test instead of hanging it.
ctl() { krv_krvctl_bounded 30 --wait 5000 "$@"; }

# asio_settings RATE BITS PAIR: RATE Hz at BITS bits, ASIO through the test
# driver on the channel pair PAIR ("0 / 1").
asio_settings() {
  krv_open_settings
  ctl select ComboBoxEx_SamplingRate "$1" || krv_fail "pick $1 Hz"
  ctl select ComboBoxEx_Quantization "$2" || krv_fail "pick $2 bits"
  krv_choose_test_driver "$3"
  krv_expect_eq "$(ctl text ComboBoxEx_AsioChannel)" "$3" "channel pair"
  ctl press BitBtnExt_Close || krv_fail "CLOSE"
  krv_no_error_box "settings"
  krv_expect_eq "$(ctl text Label_Quant_Value)" "$2" "quantization shown"
}

# asio_pair PAIR: another channel pair of the open driver.
asio_pair() {
  krv_open_settings
  ctl tab PageControl_Global 1 || krv_fail "Output page"
  ctl select ComboBoxEx_AsioChannel "$1" || krv_fail "pick the pair $1"
  krv_expect_eq "$(ctl text ComboBoxEx_AsioChannel)" "$1" "channel pair"
  ctl press BitBtnExt_Close || krv_fail "CLOSE"
}

# asio_sine_997: signal 1 becomes a 997 Hz sine at full scale (0 dB), -20dB off.
asio_sine_997() {
  ctl press BitBtnExt_Signals || krv_fail "Signals"
  krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
  ctl set-text EditHex_Freq_1 997 || krv_fail "frequency of signal 1"
  ctl set-text EditHex_Amp_1 0 || krv_fail "amplitude of signal 1"
  ctl press BitBtnExt_Close || krv_fail "the signal editor's CLOSE"
  krv_no_error_box "the signal editor's CLOSE"
  ctl press BitBtnExt_ATT || krv_fail "-20dB off"  # unity gain, as recorded
}

# asio_play NAME SECONDS: Play, wait, Stop; the capture files of this play are
# kept in the folder NAME.
asio_play() {
  ctl press BitBtnExt_Play || krv_fail "$1: Play ($(ctl error-box))"
  krv_no_error_box "$1: Play"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "$1: Play picture while playing"
  sleep "$2"
  krv_no_error_box "$1: while playing"
  ctl press BitBtnExt_Stop || krv_fail "$1: Stop"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "$1: Play picture after Stop"
  sleep 0.5  # silent halves until the display thread has stopped the driver
  krv_no_error_box "$1"
  asio_keep "$1"
}

asio_keep() {
  mkdir -p "$KRV_E2E_DIR/$1"
  cp "$KRV_E2E_DIR"/out-*.cap "$KRV_E2E_DIR/$1/" || krv_fail "$1: no capture"
}

# asio_check NAME REFERENCE BITS TYPES LEFT RIGHT [OPTIONS]: the kept capture
# NAME against the reference (see asio_check.py).
asio_check() {
  local name="$1"; shift
  python3 "$KRV_ROOT/tests/e2e/asio_check.py" "$1" "$2" "$3" "$KRV_E2E_DIR/$name/out-%d.cap" "${@:4}" \
    >"$KRV_E2E_DIR/$name.txt" 2>&1
  local rc=$?
  cat "$KRV_E2E_DIR/$name.txt"
  [ "$rc" -eq 0 ] || krv_fail "$name: the capture is not the expected stream"
  echo "ok: $name"
}

# asio_close: closing the main window ends the program within 20 s.
asio_close() {
  krv_krvctl_bounded 30 close TFormMain || krv_fail "krvctl close failed (exit code $?)"
  krv_wait_exit "$KRV_PROGRAM" 20
  krv_expect_eq "$?" 0 "exit code of KRV-2400.exe after closing"
}
