# Creates and configures the private Wine prefix once, and runs its Wine
# session (sourced, not run).
#   krv_prepare_wine_prefix   idempotent; quick when the prefix is ready
#   krv_start_wine_session [SECONDS] / krv_stop_wine_session   a whole run's session
#   krv_ensure_wine_session   the session (and display) of a program CTest starts
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
declare -F krv_start_xvfb >/dev/null || source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"

# Settings of the prefix. Changing them changes the stamp, which makes the
# next run apply them again.
_krv_prefix_registry() {
  cat <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Audio"="alsa"

; Fixed endpoint identities of the ALSA "default" device (0 = playback,
; 1 = recording). Left to Wine, the first processes to open audio each invent
; one at the same moment, and one of them then fails to open the device.
[HKEY_CURRENT_USER\Software\Wine\Drivers\winealsa.drv\devices\0,default]
"guid"=hex:47,b5,d1,62,43,ed,11,4a,90,d9,18,01,81,fc,dd,89

[HKEY_CURRENT_USER\Software\Wine\Drivers\winealsa.drv\devices\1,default]
"guid"=hex:35,04,76,1c,6e,d7,7d,45,aa,35,a1,26,d8,27,68,19

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""
"mscoree"=""
"mshtml"=""

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

; Wine draws the window frames and captions itself, so screenshots show them
; with or without a window manager.
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
REG
  _krv_test_asio_registry
}

# The KRV Test Driver (tools/testasio) and deliberately broken registrations
# for the discovery tests, in the 64-bit registry view that the 64-bit
# program reads. The library stays in the build's bin folder; the "Expand"
# and "Bare" entries find a copy in c:\windows\system32.
KRV_TEST_ASIO_DLL=krv_test_asio.dll
# Wine's regedit stores a hex(2) value of a version 5 file as 8-bit text, so
# the expandable value is written by reg.exe after the import.
KRV_TEST_ASIO_EXPAND_KEY='HKCR\CLSID\{4EEDE98F-630F-45C2-BCD6-2009911E55CB}\InprocServer32'
KRV_TEST_ASIO_EXPAND_VALUE="%SystemRoot%\\system32\\$KRV_TEST_ASIO_DLL"
_krv_test_asio_expand_value() {
  timeout 120 "$KRV_WINE" reg add "$KRV_TEST_ASIO_EXPAND_KEY" /ve /t REG_EXPAND_SZ /d "$KRV_TEST_ASIO_EXPAND_VALUE" /f /reg:64
}
_krv_test_asio_registry() {
  local dll path
  dll="$(_krv_winepath "$KRV_BIN/$KRV_TEST_ASIO_DLL")"
  path="${dll//\\/\\\\}"
  cat <<REG

[HKEY_LOCAL_MACHINE\Software\ASIO\KRV Test Driver]
"CLSID"="{54324874-9E15-4A5F-85DD-17DEFDD169FE}"
"Description"="KRV Test Driver"

[HKEY_CLASSES_ROOT\CLSID\{54324874-9E15-4A5F-85DD-17DEFDD169FE}\InprocServer32]
@="$path"
"ThreadingModel"="Apartment"

[HKEY_LOCAL_MACHINE\Software\ASIO\KRV Test Driver Expand]
"CLSID"="{4EEDE98F-630F-45C2-BCD6-2009911E55CB}"

[HKEY_CLASSES_ROOT\CLSID\{4EEDE98F-630F-45C2-BCD6-2009911E55CB}\InprocServer32]
; default value: $KRV_TEST_ASIO_EXPAND_VALUE (REG_EXPAND_SZ, written by reg.exe)

[HKEY_LOCAL_MACHINE\Software\ASIO\KRV Test Driver Bare]
"CLSID"="{4B569FE3-A8C6-4D10-8865-295690A16F3E}"

[HKEY_CLASSES_ROOT\CLSID\{4B569FE3-A8C6-4D10-8865-295690A16F3E}\InprocServer32]
@="$KRV_TEST_ASIO_DLL"

[HKEY_LOCAL_MACHINE\Software\ASIO\KRV Broken No Clsid]
"Description"="no class"

[HKEY_LOCAL_MACHINE\Software\ASIO\KRV Broken No Server]
"CLSID"="{93D4ED7E-C0EA-4267-8761-79AAA6780F5B}"

[HKEY_CLASSES_ROOT\CLSID\{93D4ED7E-C0EA-4267-8761-79AAA6780F5B}]
@="no server"

[HKEY_LOCAL_MACHINE\Software\ASIO\KRV Broken Missing Dll]
"CLSID"="{B8F7FC09-CECA-41DF-B6AE-2D2D303B4301}"

[HKEY_CLASSES_ROOT\CLSID\{B8F7FC09-CECA-41DF-B6AE-2D2D303B4301}\InprocServer32]
@="C:\\\\nowhere\\\\missing_driver.dll"

[HKEY_LOCAL_MACHINE\Software\ASIO\KRV Broken Bad Clsid]
"CLSID"="not-a-class"

[HKEY_CLASSES_ROOT\CLSID\not-a-class\InprocServer32]
@="$path"

[HKEY_LOCAL_MACHINE\Software\ASIO\KRV Broken Not Creatable]
"CLSID"="{6F7528D2-E05D-4EE1-8345-C192852F81E4}"

[HKEY_CLASSES_ROOT\CLSID\{6F7528D2-E05D-4EE1-8345-C192852F81E4}\InprocServer32]
@="$path"
REG
}

# Copies the test driver into the prefix's system folder when it is newer.
_krv_install_test_asio() {
  local system="$WINEPREFIX/drive_c/windows/system32"
  [ -f "$KRV_BIN/$KRV_TEST_ASIO_DLL" ] && [ -d "$system" ] || return 0
  cp -u "$KRV_BIN/$KRV_TEST_ASIO_DLL" "$system/" 2>/dev/null || true
}

# Wine's own fonts (Marlett for the caption buttons, Tahoma for dialogs).
# Started as /usr/lib/wine/wine64, Debian's Wine 8 does not find them in its
# data folder, but it does read c:\windows\Fonts.
KRV_WINE_FONTS=/usr/share/wine/fonts
_krv_link_wine_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" font
  [ -d "$KRV_WINE_FONTS" ] || { echo "warning: $KRV_WINE_FONTS missing (package fonts-wine)" >&2; return 0; }
  mkdir -p "$fonts"
  for font in "$KRV_WINE_FONTS"/*; do
    [ -e "$fonts/$(basename "$font")" ] || ln -s "$font" "$fonts/"
  done
}

krv_prepare_wine_prefix() {
  local stamp="$WINEPREFIX/.krv-prefix"
  local wanted
  wanted="$({ _krv_prefix_registry; echo "fonts linked from $KRV_WINE_FONTS"; } | md5sum | cut -d' ' -f1)"
  if [ "$(cat "$stamp" 2>/dev/null)" = "$wanted" ]; then _krv_install_test_asio; return 0; fi

  mkdir -p "$KRV_BUILD"
  (
    # One preparer at a time (parallel test runs share the prefix).
    flock 9
    [ "$(cat "$stamp" 2>/dev/null)" = "$wanted" ] && exit 0
    echo "==> preparing the Wine prefix $WINEPREFIX (once)" >&2
    # No display needed, and none wanted: wineboot would open windows on it.
    # Output goes to a log so no Wine daemon holds the caller's pipes.
    local log="$KRV_BUILD/wineprefix.log"
    DISPLAY= timeout 300 "$KRV_WINE" wineboot -i >"$log" 2>&1 </dev/null ||
      { echo "error: wineboot failed or timed out (see $log)" >&2; exit 1; }
    local reg="$KRV_BUILD/wineprefix.reg"
    _krv_prefix_registry >"$reg"
    DISPLAY= timeout 120 "$KRV_WINE" regedit /S "$(_krv_winepath "$reg")" >>"$log" 2>&1 </dev/null ||
      { echo "error: importing the prefix settings failed (see $log)" >&2; exit 1; }
    DISPLAY= _krv_test_asio_expand_value >>"$log" 2>&1 </dev/null ||
      { echo "error: registering the test driver failed (see $log)" >&2; exit 1; }
    _krv_link_wine_fonts
    timeout 120 "$KRV_WINESERVER" -w ||
      { echo "error: the Wine server did not finish (see $log)" >&2; exit 1; }
    echo "$wanted" >"$stamp"
  ) 9>"$KRV_BUILD/wineprefix.lock" || return 1
  _krv_install_test_asio
}

# Windows path (Z: drive) of a Unix path.
_krv_winepath() {
  local path
  path="$(realpath -m "$1")"
  printf 'Z:%s' "${path//\//\\}"
}

# A Wine session for a whole test run. The first Wine process starts the
# server and Wine's helper processes (services, devices, the desktop), which
# keep its output pipes open until the server ends: under CTest that test
# would last as long as the whole run. Started here, once, on /dev/null, they
# belong to no test. Needs the display the tests will use.
#   krv_start_wine_session [SECONDS]  the server stays SECONDS after its last
#       program (by default until krv_stop_wine_session). When the prefix's
#       server runs already, that session is used, and is not this shell's to
#       stop.
krv_start_wine_session() {
  "$KRV_WINESERVER" -p${1:-} </dev/null >/dev/null 2>&1
  case $? in
    0) ;;
    2) return 0 ;;  # a server of this prefix is running
    *) return 1 ;;
  esac
  # Any program that asks for the desktop window brings up the helpers.
  timeout 60 "$KRV_WINE" rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1
  KRV_WINE_SESSION=1
}

krv_stop_wine_session() {
  [ -n "${KRV_WINE_SESSION:-}" ] || return 0
  "$KRV_WINESERVER" -k 2>/dev/null
  timeout 20 "$KRV_WINESERVER" -w 2>/dev/null
  KRV_WINE_SESSION=""
}

# For each program that CTest starts (the emulator of the Windows tree, the
# end-to-end scripts): the prefix's session, started detached when none runs
# (as by hand, `ctest --test-dir build/windows` with nothing started first),
# ending by itself KRV_WINE_LINGER (30) seconds after its last program. With
# no DISPLAY, the session gets a virtual display that ends with it, and every
# later caller with no DISPLAY uses that one (windows need a display). One
# caller at a time decides. The caller that started the session may end it
# (and its display) with krv_stop_wine_session.
krv_ensure_wine_session() {
  local dir="$KRV_BUILD/xvfb"
  local shared="$dir/session-display" display pid status=0
  mkdir -p "$dir"
  exec 8>"$dir/session.lock"
  flock 8
  if [ -z "${DISPLAY:-}" ] && read -r display pid 2>/dev/null <"$shared" && kill -0 "$pid" 2>/dev/null; then
    export DISPLAY="$display"
  fi
  if ! "$KRV_WINESERVER" -k0 2>/dev/null; then
    if [ -z "${DISPLAY:-}" ]; then
      # Its Xvfb belongs to the session, not to this shell.
      krv_start_xvfb 8>&- && echo "$DISPLAY $KRV_XVFB_PID" >"$shared" || status=1
      pid="$KRV_XVFB_PID"
      KRV_XVFB_PID=""
      KRV_XVFB_STARTED=""
    else
      pid=""
    fi
    if [ "$status" -eq 0 ]; then
      krv_start_wine_session "${KRV_WINE_LINGER:-30}" 8>&- || status=1
    fi
    if [ -n "$pid" ]; then
      # The display ends with the session.
      setsid bash -c '"$1" -w; kill "$2"; rm -f "$3"' krv-session-display \
        "$KRV_WINESERVER" "$pid" "$shared" </dev/null >/dev/null 2>&1 8>&- &
    fi
  fi
  exec 8>&-
  return "$status"
}
