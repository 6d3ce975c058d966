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
fi
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
