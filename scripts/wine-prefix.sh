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
# A new file takes the old one's name (never written in place): the test
# slots' prefixes share the old one's data (see krv_enter_wine_slot).
_krv_install_test_asio() {
  local system="$WINEPREFIX/drive_c/windows/system32"
  [ -f "$KRV_BIN/$KRV_TEST_ASIO_DLL" ] && [ -d "$system" ] || return 0
  [ "$KRV_BIN/$KRV_TEST_ASIO_DLL" -nt "$system/$KRV_TEST_ASIO_DLL" ] || return 0
  cp -p "$KRV_BIN/$KRV_TEST_ASIO_DLL" "$system/$KRV_TEST_ASIO_DLL.new.$$" 2>/dev/null &&
    mv -f "$system/$KRV_TEST_ASIO_DLL.new.$$" "$system/$KRV_TEST_ASIO_DLL" 2>/dev/null || true
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

# ------------------------------------------------------------- test slots ---
# Tests run side by side, each in a slot of its own: a fresh copy of the
# prepared prefix (so its own Wine server: the program's single-instance
# mutex and named events are the server's), its own Xvfb display, its own
# ALSA configuration and capture file, and its own temporary folder. A slot is
# a folder build/windows/slots/N, held through the lock N.lock for as long as
# the test runs; there are KRV_WINE_SLOTS of them (default: the number of
# cores; a test waits while all are taken). KRV_WINE_SLOTS=0 runs every test
# in the one shared prefix, session and display instead (run CTest with -j 1
# then, or configure with -DKRV_WINE_SHARED=ON, which keeps the tests' locks).
#   krv_wine_slots_enabled   true unless KRV_WINE_SLOTS=0
#   krv_enter_wine_slot      takes a slot, copies the prefix into it, starts its
#                            display and Wine session; exports WINEPREFIX,
#                            DISPLAY, ALSA_CONFIG_PATH, TMPDIR, KRV_WINE_SLOT_DIR.
#                            A process started inside a slot (exported
#                            KRV_WINE_SLOT_DIR) uses that slot.
#   krv_leave_wine_slot      ends the slot's session and display and frees it
#                            (only in the shell that took it)
#   krv_end_wine_slots       ends every slot's leftover session and display
# The lock is file descriptor 7; the session's and the display's processes
# are started without it, so the slot is free once its test has ended, even
# when CTest killed the test (the next test in the slot then ends what that
# one left).
krv_wine_slots_enabled() { [ "${KRV_WINE_SLOTS:-}" != 0 ]; }

krv_wine_slot_count() {
  local count="${KRV_WINE_SLOTS:-$(nproc 2>/dev/null || echo 2)}"
  [ "$count" -ge 1 ] 2>/dev/null || count=1
  echo "$count"
}

# The socket of the prefix's running Wine server (Debian's Wine keeps it in
# $TMPDIR/<the name in $WINEPREFIX/wineserver>/server-<device>-<inode of the
# prefix>/); nothing when no server runs.
krv_wine_server_socket() {
  local name device inode socket
  name="$(cat "$WINEPREFIX/wineserver" 2>/dev/null)" && [ -n "$name" ] || return 0
  read -r device inode < <(stat -L -c '%d %i' "$WINEPREFIX" 2>/dev/null) || return 0
  socket="$(printf '%s/%s/server-%x-%x/socket' "${TMPDIR:-/tmp}" "$name" "$device" "$inode")"
  [ -S "$socket" ] && echo "$socket"
}

# Ends the Wine session and the display a slot's last test left running.
_krv_end_slot_session() {
  local dir="$1" pid
  if [ -d "$dir/prefix" ]; then
    # The server's socket lies in the slot's TMPDIR (Debian's Wine keeps it
    # under $TMPDIR): with any other TMPDIR the server is not found.
    WINEPREFIX="$dir/prefix" TMPDIR="$dir/tmp" "$KRV_WINESERVER" -k 2>/dev/null
    WINEPREFIX="$dir/prefix" TMPDIR="$dir/tmp" timeout 20 "$KRV_WINESERVER" -w 2>/dev/null
  fi
  if read -r pid 2>/dev/null <"$dir/xvfb.pid"; then
    # Only an Xvfb of this slot (the number may be another process's by now).
    if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ] &&
       grep -qzx -- "-displayfd" "/proc/$pid/cmdline" 2>/dev/null; then
      kill "$pid" 2>/dev/null
    fi
    rm -f "$dir/xvfb.pid"
  fi
}

# A fresh copy of the prepared prefix. The big, read-only part (the folders
# of c:\windows: the system's DLLs and fonts) is hard-linked; every other
# file (the registry, the users' folders, win.ini) is a file of its own.
# Nothing writes into the system folders in place (the test driver is
# replaced by a rename, see _krv_install_test_asio).
_krv_copy_prefix() {
  local source="$1" target="$2" file
  rm -rf "$target"
  # (A prefix on another file system than the slots is copied whole.)
  cp -al "$source" "$target" 2>/dev/null || { rm -rf "$target"; cp -a "$source" "$target"; } || return 1
  while IFS= read -r -d '' file; do
    cp -p "$file" "$file.copy" && mv -f "$file.copy" "$file" || return 1
  done < <(find "$target" -type f ! -path "$target/drive_c/windows/*/*" -print0)
}

_krv_use_slot() {
  local dir="$1"
  export KRV_WINE_SLOT_DIR="$dir"
  export WINEPREFIX="$dir/prefix"
  export TMPDIR="$dir/tmp"
  export ALSA_CONFIG_PATH="$dir/alsa/asound.conf"
  export KRV_ALSA_PRIVATE="$KRV_BUILD"
  export KRV_ALSA_DIR="$dir/alsa"
  local display
  read -r display 2>/dev/null <"$dir/display" && export DISPLAY="$display"
}

krv_enter_wine_slot() {
  if [ -n "${KRV_WINE_SLOT_DIR:-}" ] && [ -d "$KRV_WINE_SLOT_DIR/prefix" ]; then
    _krv_use_slot "$KRV_WINE_SLOT_DIR"  # the slot of the test that started us
    return 0
  fi
  local main="$WINEPREFIX" root="$KRV_BUILD/slots" count slot=-1 i waited=0
  count="$(krv_wine_slot_count)"
  mkdir -p "$root" || return 1
  while [ "$slot" -lt 0 ]; do
    for ((i = 0; i < count; i++)); do
      exec 7>"$root/$i.lock"
      if flock -n 7; then slot=$i; break; fi
      exec 7>&-
    done
    if [ "$slot" -lt 0 ]; then
      [ $((waited % 150)) -eq 0 ] && echo "==> waiting for a free test slot (all $count taken)" >&2
      sleep 0.2
      waited=$((waited + 1))
    fi
  done
  local dir="$root/$slot"
  KRV_WINE_SLOT_OWNER=$BASHPID
  mkdir -p "$dir"
  _krv_end_slot_session "$dir" 7>&-
  rm -rf "$dir/tmp" "$dir/alsa" "$dir/display"
  mkdir -p "$dir/tmp" "$dir/alsa"
  _krv_copy_prefix "$main" "$dir/prefix" ||
    { echo "error: the prefix could not be copied into $dir" >&2; krv_leave_wine_slot; return 1; }
  krv_alsa_config "$dir/alsa/wave-out.wav" "$dir/alsa/asound.conf"
  _krv_use_slot "$dir"
  unset DISPLAY
  krv_start_xvfb 7>&- ||
    { krv_leave_wine_slot; return 1; }
  echo "$KRV_XVFB_PID" >"$dir/xvfb.pid"
  echo "$DISPLAY" >"$dir/display"
  KRV_SLOT_XVFB_PID="$KRV_XVFB_PID"
  # The display is the slot's: no caller's krv_stop_xvfb ends it.
  KRV_XVFB_PID=""
  KRV_XVFB_STARTED=""
  krv_start_wine_session 7>&- ||
    { echo "error: no Wine session in $dir" >&2; krv_leave_wine_slot; return 1; }
  echo "==> test slot $slot: prefix $WINEPREFIX, display $DISPLAY" >&2
}

krv_leave_wine_slot() {
  [ -n "${KRV_WINE_SLOT_OWNER:-}" ] && [ "$KRV_WINE_SLOT_OWNER" = "$BASHPID" ] || return 0
  local dir="$KRV_WINE_SLOT_DIR"
  "$KRV_WINESERVER" -k 2>/dev/null
  timeout 20 "$KRV_WINESERVER" -w 2>/dev/null
  if [ -n "${KRV_SLOT_XVFB_PID:-}" ]; then
    kill "$KRV_SLOT_XVFB_PID" 2>/dev/null
    wait "$KRV_SLOT_XVFB_PID" 2>/dev/null
    rm -f "$dir/xvfb.pid"
  fi
  KRV_SLOT_XVFB_PID=""
  KRV_WINE_SLOT_OWNER=""
  exec 7>&-
}

krv_end_wine_slots() {
  local lock dir
  for lock in "$KRV_BUILD"/slots/*.lock; do
    [ -e "$lock" ] || continue
    dir="${lock%.lock}"
    # A slot that a test holds is that test's.
    ( flock -n 7 && _krv_end_slot_session "$dir" 7>&- ) 7>"$lock"
  done
}

# The Wine session of a test's process (an end-to-end script, the CTest
# emulator, a screenshot script): a slot of its own, or the shared session.
krv_test_wine_session() {
  if krv_wine_slots_enabled; then
    krv_enter_wine_slot
  else
    krv_ensure_wine_session
  fi
}
