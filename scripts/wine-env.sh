# Sourced by the scripts that run Windows binaries: a private Wine prefix and a
# private ALSA configuration inside the build folder; the user's own Wine
# prefix and sound settings are never touched.
#   KRV_BUILD  the Windows build folder (default: build/windows under the repo)
_krv_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
: "${KRV_BUILD:=${_krv_root}/build/windows}"
export KRV_BUILD
export WINEPREFIX="${KRV_WINEPREFIX:-${KRV_BUILD}/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
if [ -x /usr/lib/wine/wine64 ]; then KRV_WINE=/usr/lib/wine/wine64; else KRV_WINE=wine; fi
export KRV_WINE
