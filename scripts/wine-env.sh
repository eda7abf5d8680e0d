# Sourced by the scripts that run Windows binaries: a private Wine prefix and a
# private ALSA configuration inside the build folder; the user's own Wine
# prefix (~/.wine) and sound settings (~/.asoundrc) are never touched.
#   KRV_BUILD  the Windows build folder (default: build/windows under the repo)
_krv_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
: "${KRV_BUILD:=${_krv_root}/build/windows}"
export KRV_BUILD
export KRV_BIN="${KRV_BIN:-${KRV_BUILD}/bin}"
export WINEPREFIX="${KRV_WINEPREFIX:-${KRV_BUILD}/wineprefix}"
export WINEDEBUG=-all
# No mono/gecko install prompts, no menu entries or file associations.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# A fixed, UTF-8 locale: arguments and window texts pass through unchanged.
export LC_ALL=C.UTF-8
if [ -x /usr/lib/wine/wine64 ]; then KRV_WINE64=/usr/lib/wine/wine64; else KRV_WINE64=wine64; fi
# Every Wine process starts with a fixed address space layout (see
# wine-fixed-layout.sh): with a random one, now and then a start fails at once
# and without a word.
if setarch "$(uname -m)" -R true 2>/dev/null; then
  KRV_WINE="$_krv_root/scripts/wine-fixed-layout.sh"
else
  KRV_WINE="$KRV_WINE64"
fi
if [ -x /usr/lib/wine/wineserver64 ]; then KRV_WINESERVER=/usr/lib/wine/wineserver64
elif [ -x /usr/lib/wine/wineserver ]; then KRV_WINESERVER=/usr/lib/wine/wineserver
else KRV_WINESERVER=wineserver; fi
export KRV_WINE KRV_WINE64 KRV_WINESERVER

# Sound: exactly one ALSA device, "default", which writes everything played
# into a WAV file (ALSA's file plugin over its null device). Nothing between
# Wine and the file converts: the file holds the stream's own rate and format.
export KRV_ALSA_DIR="${KRV_BUILD}/alsa"
krv_alsa_config() {  # krv_alsa_config WAV-FILE CONFIG-FILE
  mkdir -p "$(dirname "$2")" "$(dirname "$1")"
  cat >"$2" <<ALSA
# Private ALSA configuration of the KRV-2400 test bench (generated).
pcm.!default {
  type file
  slave.pcm "krv_null"
  file "$1"
  format "wav"
}
pcm.krv_null {
  type null
}
ALSA
}
# Processes started from here on write their sound to WAV-FILE.
krv_capture_audio() {  # krv_capture_audio WAV-FILE
  local wav
  wav="$(realpath -m "$1")"
  rm -f "$wav"
  krv_alsa_config "$wav" "${wav%.wav}.asound.conf"
  export ALSA_CONFIG_PATH="${wav%.wav}.asound.conf"
}
# KRV_SOUND=system keeps the machine's own ALSA setup (to listen on a desktop).
if [ "${KRV_SOUND:-}" = system ]; then
  :
elif [ -z "${ALSA_CONFIG_PATH:-}" ] || [ "${KRV_ALSA_PRIVATE:-}" != "$KRV_BUILD" ]; then
  [ -f "$KRV_ALSA_DIR/asound.conf" ] ||
    krv_alsa_config "$KRV_ALSA_DIR/wave-out.wav" "$KRV_ALSA_DIR/asound.conf"
  export ALSA_CONFIG_PATH="$KRV_ALSA_DIR/asound.conf"
  export KRV_ALSA_PRIVATE="$KRV_BUILD"
fi
