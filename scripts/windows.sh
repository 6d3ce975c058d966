#!/usr/bin/env bash
# Windows stage: cross builds for i686 and x86_64, inspection of the i686
# programs, and the x86_64 installer run under Wine on a fresh prefix.
set -uo pipefail
cd "$(dirname "$0")/.."
pass=0; fail=0
check() { if "$@" >/dev/null 2>&1; then echo "ok   $desc"; pass=$((pass+1)); else echo "FAIL $desc"; fail=$((fail+1)); fi; }

for arch in i686:build-win32 x86_64:build-win64; do
  a=${arch%%:*}; d=${arch#*:}
  cmake -S . -B "$d" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-$a.cmake >/dev/null
  desc="$a build of install.exe and mkdist.exe"
  check cmake --build "$d" --target kv_install mkdist product_tree -j2
done
cmake -S . -B build-winhost -DKOVRA_TESTS=OFF >/dev/null
desc="host mkdist"; check cmake --build build-winhost --target mkdist -j2

od=i686-w64-mingw32-objdump
desc="i686 install.exe is PE32 for Intel 386"
check bash -c "$od -f build-win32/bin/install.exe | grep -q 'file format pei-i386'"
desc="i686 install.exe is a console program"
check bash -c "$od -p build-win32/bin/install.exe | grep -q 'Subsystem.*00000003'"
desc="i686 install.exe imports only system DLLs"
check bash -c "! $od -p build-win32/bin/install.exe | grep 'DLL Name' | grep -viE 'KERNEL32|msvcrt|api-ms-'"

wine64=/usr/lib/wine/wine64
if [ -x "$wine64" ]; then
  tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
  export WINEPREFIX=$tmp/prefix WINEDEBUG=-all
  "$wine64" wineboot -i >/dev/null 2>&1
  build-winhost/bin/mkdist --installer build-win64/bin/install.exe build-win64/product "$tmp/dist" >/dev/null
  desc="mkdist packages the Windows tree with install.exe"
  check test -f "$tmp/dist/install.exe"
  desc="install.exe installs into C:\\Kovra4.3 under Wine"
  check bash -c "cd '$tmp/dist' && printf '\ny\n\n' | '$wine64' install.exe"
  dest=$WINEPREFIX/drive_c/Kovra4.3
  desc="installed files match the product tree"
  check bash -c "cd build-win64/product && for f in \$(find . -type f ! -name install.lst); do cmp \"\$f\" '$dest'/\"\$f\" || exit 1; done"
  # A damaged member: the engine's message and a failing status.
  cp -r "$tmp/dist" "$tmp/bad"
  gz=$(find "$tmp/bad" -name 'intro.txt.gz' | head -1)
  [ -n "$gz" ] || gz=$(find "$tmp/bad" -name '*.gz' ! -name 'install.lst.gz' | head -1)
  size=$(stat -c %s "$gz")
  printf '\377\377\377\377' | dd of="$gz" bs=1 seek=$((size - 8)) conv=notrunc 2>/dev/null
  rm -rf "$WINEPREFIX/drive_c/Kovra4.3"
  (cd "$tmp/bad" && printf '\ny\n\n' | "$wine64" install.exe >"$tmp/bad.out" 2>"$tmp/bad.err"); status=$?
  desc="corrupt .gz fails the install (status $status)"
  check test "$status" -ne 0
  desc="corrupt .gz gives the engine's message"
  check grep -q 'invalid compressed data--crc error' "$tmp/bad.err" "$tmp/bad.out"

  # mkdist.exe then install.exe, both under Wine.
  rm -rf "$WINEPREFIX/drive_c/Kovra4.3"
  cp build-win64/bin/install.exe build-win64/bin/mkdist.exe "$WINEPREFIX/drive_c/"
  cp -r build-win64/product "$WINEPREFIX/drive_c/prod"
  desc="mkdist.exe packages the tree under Wine"
  check bash -c "cd '$WINEPREFIX/drive_c' && '$wine64' mkdist.exe --installer 'C:\\install.exe' 'C:\\prod' 'C:\\wdist'"
  desc="install.exe installs mkdist.exe's distribution"
  check bash -c "cd '$WINEPREFIX/drive_c/wdist' && printf '\ny\n\n' | '$wine64' install.exe"
  desc="round trip files match the product tree"
  check bash -c "cd build-win64/product && for f in \$(find . -type f ! -name install.lst); do cmp \"\$f\" '$dest'/\"\$f\" || exit 1; done"
fi
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
