#!/usr/bin/env bash
# Windows stage: cross builds for i686 and x86_64, inspection of the i686
# programs (format, subsystem, imports, the launchers' resources), and under
# Wine on a fresh prefix: the x86_64 installer on distributions made by
# mkdist and mkdist.exe, and the test program of the launcher's utilities.
set -uo pipefail
cd "$(dirname "$0")/.."
pass=0; fail=0
check() { if "$@" >/dev/null 2>&1; then echo "ok   $desc"; pass=$((pass+1)); else echo "FAIL $desc"; fail=$((fail+1)); fi; }
# As check, and shows what the command printed when it fails.
check_shown() {
  local out
  if out=$("$@" 2>&1); then echo "ok   $desc"; pass=$((pass+1))
  else echo "FAIL $desc"; printf '%s\n' "$out" | grep -vE '^(ok|PASS) ' | sed 's/^/     /'; fail=$((fail+1)); fi
}

w32=build-win-i686 w64=build-win-x86_64 host=build-win-host
for arch in i686:$w32 x86_64:$w64; do
  a=${arch%%:*}; d=${arch#*:}
  out=$(cmake -S . -B "$d" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-$a.cmake -DKOVRA_TESTS=ON 2>&1) ||
    printf '%s\n' "$out"
  desc="$a build of install.exe and mkdist.exe"
  check cmake --build "$d" --target kv_install mkdist -j2
  desc="$a build of kohelp.exe and koedit.exe"
  check_shown cmake --build "$d" --target kohelp koedit -j2
  if [ "$a" = x86_64 ]; then
    desc="x86_64 build of the Wine test program"
    check_shown cmake --build "$d" --target extent_wine_test -j2
  fi
  # Staged last: the tree lies in the build's own product/ folder, which a
  # later build step would fill with build files again.
  desc="$a product tree staged"
  check_shown cmake --build "$d" --target product_tree
done
cmake -S . -B $host -DKOVRA_TESTS=OFF >/dev/null
desc="host mkdist"; check cmake --build $host --target mkdist -j2

od=i686-w64-mingw32-objdump
desc="i686 install.exe is PE32 for Intel 386"
check bash -c "$od -f $w32/bin/install.exe | grep -q 'file format pei-i386'"
desc="i686 install.exe is a console program"
check bash -c "$od -p $w32/bin/install.exe | grep -q 'Subsystem.*00000003'"
desc="i686 install.exe imports only system DLLs"
check bash -c "! $od -p $w32/bin/install.exe | grep 'DLL Name' | grep -viE 'KERNEL32|msvcrt|api-ms-'"

# The launchers: GUI programs that import the system's DLLs and Tcl/Tk's,
# and from the latter exactly the routines that the .def files list.
defs=$(grep -hE '^T(cl|k)_' launcher/windows/tcl84.def launcher/windows/tk84.def | tr -d '\r' | sort)
tcl_tk_imports() {
  $od -p "$1" | awk '/DLL Name: t(cl|k)84.dll/ {t=1; next} /DLL Name:/ {t=0} t && $3 ~ /^T(cl|k)_/ {print $3}' | sort
}
imports_match_defs() { [ -n "$defs" ] && [ "$(tcl_tk_imports "$1")" = "$defs" ]; }
for exe in kohelp:"Help for Kovra":"KoHelp 1.2" koedit:"File Editor for Kovra":"KoEdit 1.2"; do
  IFS=: read -r name description version <<<"$exe"
  f=$w32/launcher/$name.exe
  desc="i686 $name.exe is PE32 for Intel 386"
  check bash -c "$od -f $f | grep -q 'file format pei-i386'"
  desc="i686 $name.exe is a GUI program"
  check bash -c "$od -p $f | grep -q 'Subsystem.*00000002'"
  desc="i686 $name.exe imports system DLLs and tcl84.dll, tk84.dll only"
  check bash -c "$od -p $f | grep 'DLL Name' | grep -qi tcl84.dll && $od -p $f | grep 'DLL Name' | grep -qi tk84.dll &&
    ! $od -p $f | grep 'DLL Name' | grep -viE 'KERNEL32|USER32|msvcrt|api-ms-|tcl84\.dll|tk84\.dll'"
  desc="i686 $name.exe takes from Tcl/Tk exactly the routines of the .def files"
  check imports_match_defs "$f"
  desc="i686 $name.exe resources: MAIN_ICON, version block, manifest"
  check_shown python3 tests/windows/check_resources.py "$f" "$description" "$version" "$name.exe" X86
  desc="x86_64 $name.exe resources name amd64 in the manifest"
  check_shown python3 tests/windows/check_resources.py "$w64/launcher/$name.exe" "$description" "$version" "$name.exe" amd64
done
desc="kohelp and koedit carry different icons"
check bash -c "! cmp -s <(wrestool -x --raw --type=3 $w32/launcher/kohelp.exe) <(wrestool -x --raw --type=3 $w32/launcher/koedit.exe)"

# The Windows product tree holds the launchers just built.
for d in $w32 $w64; do
  desc="$d product tree carries the built kohelp.exe and koedit.exe"
  check bash -c "cmp $d/launcher/kohelp.exe $d/product/bin/kohelp.exe && cmp $d/launcher/koedit.exe $d/product/bin/koedit.exe &&
    grep -q '\"bin/kohelp.exe\"' $d/product/install.lst && grep -q '\"bin/koedit.exe\"' $d/product/install.lst"
done

# Every file that the x86_64 tree's install list names, and the list, lie
# unchanged in the destination $1.
same_as_tree() {
  local names
  names=$(sed -n 's/^F "\([^"]*\)".*/\1/p' $w64/product/install.lst) || return 1
  [ -n "$names" ] && cmp $w64/product/install.lst "$1/install.lst" || return 1
  for f in $names; do cmp "$w64/product/$f" "$1/$f" || return 1; done
}

wine64=/usr/lib/wine/wine64
if [ -x "$wine64" ]; then
  tmp=$(mktemp -d)
  export WINEPREFIX=$tmp/prefix WINEDEBUG=-all
  trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1; rm -rf "$tmp"' EXIT
  "$wine64" wineboot -i >/dev/null 2>&1
  $host/bin/mkdist --installer $w64/bin/install.exe $w64/product "$tmp/dist" >/dev/null
  desc="mkdist packages the Windows tree with install.exe and the launchers"
  check bash -c "test -f '$tmp/dist/install.exe' && test -f '$tmp/dist/bin/kohelp.exe.gz' && test -f '$tmp/dist/bin/koedit.exe.gz'"
  desc="install.exe installs into C:\\Kovra4.3 under Wine"
  check bash -c "cd '$tmp/dist' && printf '\ny\n\n' | '$wine64' install.exe"
  dest=$WINEPREFIX/drive_c/Kovra4.3
  desc="installed files match the product tree"
  check same_as_tree "$dest"
  desc="installed kohelp.exe and koedit.exe are the built launchers"
  check bash -c "cmp $w64/launcher/kohelp.exe '$dest/bin/kohelp.exe' && cmp $w64/launcher/koedit.exe '$dest/bin/koedit.exe'"
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
  cp $w64/bin/install.exe $w64/bin/mkdist.exe "$WINEPREFIX/drive_c/"
  cp -r $w64/product "$WINEPREFIX/drive_c/prod"
  desc="mkdist.exe packages the tree under Wine"
  check bash -c "cd '$WINEPREFIX/drive_c' && '$wine64' mkdist.exe --installer 'C:\\install.exe' 'C:\\prod' 'C:\\wdist'"
  desc="install.exe installs mkdist.exe's distribution"
  check bash -c "cd '$WINEPREFIX/drive_c/wdist' && printf '\ny\n\n' | '$wine64' install.exe"
  desc="round trip files match the product tree"
  check same_as_tree "$dest"

  # The launcher's utilities on the Windows API; its window cases need a display.
  # A prefix of their own, started on that display: the prefix above runs
  # Wine's desktop process without one, and windows made there would fail.
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  export WINEPREFIX=$tmp/prefix-x
  xvfb=(); [ -n "${DISPLAY:-}" ] || ! command -v xvfb-run >/dev/null || xvfb=(xvfb-run -a)
  desc="utilities under Wine: threads, events, notifier, pipes, cmd2argv, start-up, commands"
  check_shown timeout 600 "${xvfb[@]}" "$wine64" $w64/bin/extent_wine_test.exe
fi
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
