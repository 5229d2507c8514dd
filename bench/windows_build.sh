# Sourced by the benchmarks that run under Wine, after they set $root: chooses the Windows build
# to measure, BUILD=win32|win64, by default the shipped 32-bit one where this machine runs
# 32-bit code and build/win32 holds the test programs; sets $build (its folder), $wine and the
# Wine environment, with the build's own prefix (the one its tests use).
if [ -z "${BUILD:-}" ]; then
  BUILD=win64
  if [ -x /usr/lib/wine/wine ] && [ -f "$root/build/win32/bin/desktop_warmup.exe" ] &&
     "$root/tools/runs-32bit-code" >/dev/null; then
    BUILD=win32
  fi
fi
case "$BUILD" in
  win32) wine=/usr/lib/wine/wine ;;
  win64) wine=/usr/lib/wine/wine64 ;;
  *) echo "BUILD is win32 or win64, not '$BUILD'" >&2; exit 2 ;;
esac
build="$root/build/$BUILD"
[ -f "$build/bin/desktop_warmup.exe" ] || { echo "build/$BUILD has no test programs: run ./check first" >&2; exit 1; }
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ "$BUILD" = win32 ] && export WINEARCH=win32
[ -f "$WINEPREFIX/system.reg" ] || { "$wine" wineboot -i >/dev/null 2>&1; /usr/lib/wine/wineserver -w; }
echo "measuring build/$BUILD"
