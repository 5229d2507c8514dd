# Sourced by the benchmarks that run under Wine, after they set $root: chooses the Windows build
# to measure, BUILD=win32|win64, by default the shipped 32-bit one where this machine runs
# 32-bit code and build/win32 holds the test programs; sets $build (its folder), $wine and the
# Wine environment, with the build's own prefix (the one its tests use).
# Descriptors inherited from the caller, the benchmark lock of flock above all, would stay open
# in the persistent wineserver and the prefix's services that a benchmark starts, and hold the
# lock long after the benchmark ended. (255 is the shell's own script.)
for descriptor in /proc/$$/fd/*; do
  descriptor=${descriptor##*/}
  [ "$descriptor" -gt 2 ] && [ "$descriptor" -ne 255 ] && eval "exec $descriptor>&-"
done
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
