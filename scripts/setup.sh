#!/usr/bin/env bash
# Prepares a machine of this kind for building and testing the plug-in, idempotently:
# Debian packages, pugixml and GoogleTest built for the target, the Boost header folder,
# the project's own Wine prefix, and the configured build tree. A second run costs seconds.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/env.sh
source "$root/scripts/env.sh"

packages=(
  cmake make ninja-build pkg-config
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 libwine-dev
  libboost-dev googletest nlohmann-json3-dev python3
  xvfb xauth dpkg-dev ca-certificates
)

log() { printf '[setup] %s\n' "$*"; }

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    log "installing Debian packages: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# Debian's source packages come through a deb-src twin of the configured Debian sources.
enable_source_packages() {
  local twin=/etc/apt/sources.list.d/kesti-deb-src.sources
  [[ -f $twin ]] && return
  log "adding a deb-src entry for the configured Debian mirror"
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$twin"
  apt-get update -qq
}

# pugixml, built for the target from Debian's own source package.
build_pugixml() {
  [[ -f $KESTI_TARGET_PREFIX/lib/libpugixml.a ]] && return
  enable_source_packages
  log "building pugixml for the target from Debian's source package"
  local src="$KESTI_DEPS/src"
  mkdir -p "$src"
  (cd "$src" && rm -rf pugixml-* && apt-get source -qq pugixml >/dev/null 2>&1)
  local dir
  dir=$(find "$src" -maxdepth 1 -type d -name 'pugixml-*' | head -n 1)
  cmake -S "$dir" -B "$KESTI_DEPS/pugixml-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$KESTI_TARGET_PREFIX" \
    -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF >/dev/null
  cmake --build "$KESTI_DEPS/pugixml-build" --target install >/dev/null
}

# GoogleTest, built for the target from Debian's /usr/src/googletest.
build_googletest() {
  [[ -f $KESTI_TARGET_PREFIX/lib/libgtest.a ]] && return
  log "building GoogleTest for the target from /usr/src/googletest"
  cmake -S /usr/src/googletest -B "$KESTI_DEPS/googletest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$KESTI_TARGET_PREFIX" \
    -Dgtest_disable_pthreads=OFF -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$KESTI_DEPS/googletest-build" --target install >/dev/null
}

# Boost and the JSON library reach the cross compiler through folders that hold nothing but
# a link to them, so the host's other headers never shadow the target's.
link_boost_headers() {
  mkdir -p "$KESTI_DEPS/boost-include" "$KESTI_DEPS/json-include"
  ln -sfn /usr/include/boost "$KESTI_DEPS/boost-include/boost"
  ln -sfn /usr/include/nlohmann "$KESTI_DEPS/json-include/nlohmann"
}

make_wine_prefix() {
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    # Right after wineboot the service manager stays busy; a restart avoids a stuck RpcSs.
    wineserver -w || true
  fi
}

# A program that crashes must fail its test: without this Wine starts its debugger, which
# prints a backtrace and ends the program with exit code 0.
no_crash_debugger() {
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d 'no-crash-debugger' /f \
    >/dev/null 2>&1
}

# The build tree of the "mingw" preset (CMakePresets.json): a release build whose debug
# information sits beside each binary. A tree of another build type is configured anew.
configure_build() {
  if [[ ! -f $KESTI_BUILD/build.ninja ]] || ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$KESTI_BUILD/CMakeCache.txt"; then
    rm -f "$KESTI_BUILD/CMakeCache.txt"
    (cd "$root" && cmake --preset mingw >/dev/null)
  fi
}

install_packages
mkdir -p "$KESTI_DEPS"
link_boost_headers
build_pugixml
build_googletest
make_wine_prefix
no_crash_debugger
configure_build
log "ready: build tree $KESTI_BUILD, Wine prefix $WINEPREFIX"
