# Shared helpers of the project's scripts (sourced, not run).
#   krv_log MESSAGE...            progress line on stderr
#   krv_die MESSAGE...            error line and exit 1
#   krv_jobs                      parallel build jobs (KRV_JOBS or all cores)
#   krv_ensure_packages PKG...    installs the missing Debian packages
KRV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export KRV_ROOT

krv_log() { printf '==> %s\n' "$*" >&2; }
krv_die() { printf 'error: %s\n' "$*" >&2; exit 1; }

krv_jobs() { echo "${KRV_JOBS:-$(nproc 2>/dev/null || echo 2)}"; }

# Packages needed to build the Windows program and run it under Wine.
# Wine's X11 driver loads the X extension libraries at run time; Debian only
# recommends them.
KRV_RUN_PACKAGES=(cmake ninja-build googletest g++-mingw-w64-x86-64-posix
                  wine wine64 fonts-wine libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3
                  libxinerama1 libxcomposite1
                  xvfb xauth x11-utils imagemagick libasound2-plugins)
# Everything the full test command needs.
KRV_TEST_PACKAGES=("${KRV_RUN_PACKAGES[@]}" g++ libgtest-dev libbenchmark-dev
                   sox sndfile-programs alsa-utils python3
                   clang libclang-rt-14-dev)

# Quick when everything is there (one dpkg-query); otherwise apt-get update
# once and install what is missing, as root or through sudo.
krv_ensure_packages() {
  local missing=() pkg status
  for pkg in "$@"; do
    status="$(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null || true)"
    [[ "$status" == ii* ]] || missing+=("$pkg")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0

  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 ||
      krv_die "missing packages (${missing[*]}) and no sudo: install them as root"
    sudo=(sudo)
  fi
  krv_log "installing: ${missing[*]}"
  if [ -z "${KRV_APT_UPDATED:-}" ]; then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q ||
      krv_die "apt-get update failed"
    KRV_APT_UPDATED=1
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null ||
    krv_die "apt-get install failed: ${missing[*]}"
}

# Configures a build tree only when it is not configured yet with the same
# options, then builds it.
#   krv_build DIR [TARGET...] -- CMAKE-OPTIONS...
krv_build() {
  local dir="$1"; shift
  local targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do targets+=("$1"); shift; done
  [ "${1:-}" = "--" ] && shift
  local stamp="$dir/.krv-configure" options="$*"
  if [ ! -f "$dir/build.ninja" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$options" ]; then
    cmake -S "$KRV_ROOT" -B "$dir" -G Ninja "$@" || return 1
    printf '%s' "$options" >"$stamp"
  fi
  local target_args=()
  [ "${#targets[@]}" -gt 0 ] && target_args=(--target "${targets[@]}")
  cmake --build "$dir" -j "$(krv_jobs)" "${target_args[@]}"
}

# The Windows tree (build/windows), configured the same way by every script so
# none of them rebuilds what another built.
krv_build_windows() {
  krv_build "$KRV_ROOT/build/windows" "$@" -- \
    -DCMAKE_TOOLCHAIN_FILE="$KRV_ROOT/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
}
