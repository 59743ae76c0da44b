# Shared locations of the build, the target's dependencies and the project's Wine prefix.
# Sourced by the other scripts; everything lives under build/ of the checkout.
: "${root:?}"
export KESTI_OUT="$root/build"
export KESTI_DEPS="$KESTI_OUT/deps"
export KESTI_TARGET_PREFIX="$KESTI_DEPS/target"
export KESTI_BUILD="$KESTI_OUT/mingw"
export WINEPREFIX="$KESTI_OUT/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
