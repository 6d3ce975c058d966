#!/usr/bin/env bash
# Regenerates the seed corpora in tests/fuzz/corpus/ from the fixtures the
# tests use: the product's own files and install list, members written by
# the kit's compressor (mkdist), by libdeflate-gzip and by 7-Zip (outside
# producers, used as black boxes as in the engine tests), crafted headers,
# the install lists of the list reader tests and the command lines of the
# splitter tests.  Usage: make_corpus.sh BUILD_DIR (a build with bin/mkdist).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mkdist=$(cd "${1:?usage: make_corpus.sh BUILD_DIR}" && pwd)/bin/mkdist
out=$here/corpus
tmp=$(mktemp -d /tmp/kv-corpus-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
rm -rf "$out"
mkdir -p "$out"/{decode,roundtrip,install_list,cmd2argv}

# Plain inputs: small product files and a structured binary block.
doc=$root/product/src/help/doc
mkdir -p "$tmp/p"
cp "$doc/intro.txt" "$tmp/p/intro.txt"
cp "$root/product/install.lst" "$tmp/p/list.txt"
head -c 2500 "$root/product/src/edit/edit.tcl" > "$tmp/p/edit.tcl"
awk 'BEGIN { for (i = 0; i < 750; i++) printf "%c%c%c%c", i % 256, 0x10, (i * 7) % 256, 0 }' \
  > "$tmp/p/binary.bin"
printf 'x' > "$tmp/p/one.txt"
# 40000 bytes that do not compress (a fixed linear congruential sequence), so
# that members cross the 32768-byte input buffer.
perl -e '$x = 1; for (1 .. 40000) { $x = ($x * 1103515245 + 12345) % 2147483648; print chr(($x >> 16) & 255) }' \
  > "$tmp/p/random.bin"
: > "$tmp/p/empty.txt"

# The kit's own compressor, through mkdist over a product tree of them.
{
  echo "seed list"
  for f in intro.txt list.txt edit.tcl binary.bin random.bin one.txt empty.txt; do echo "F \"$f\" \"644\""; done
} > "$tmp/p/install.lst"
"$mkdist" "$tmp/p" "$tmp/d" >/dev/null
for f in intro.txt list.txt edit.tcl binary.bin random.bin one.txt empty.txt; do
  cp "$tmp/d/$f.gz" "$out/decode/own-$f.gz"
done

# Outside producers.
libdeflate-gzip -1 -c "$tmp/p/intro.txt" > "$out/decode/libdeflate1-intro.gz"
libdeflate-gzip -12 -c "$tmp/p/binary.bin" > "$out/decode/libdeflate12-binary.gz"
(cd "$tmp/p" && 7zz a -bd -y -tzip -mm=Deflate "$out/decode/7z-deflate.zip" list.txt >/dev/null)
(cd "$tmp/p" && 7zz a -bd -y -tzip -mx0 "$out/decode/7z-stored.zip" one.txt >/dev/null)
(cd "$tmp/p" && 7zz a -bd -y -tgzip "$out/decode/7z-intro.gz" intro.txt >/dev/null)

# Containers around members: two members, trailing bytes, header fields
# (extra field, name, comment) around an empty stored block.
cat "$tmp/d/one.txt.gz" "$tmp/d/intro.txt.gz" > "$out/decode/two-members.gz"
{ cat "$tmp/d/one.txt.gz"; printf 'trailing'; } > "$out/decode/trailing.gz"
printf '\037\213\010\034\0\0\0\0\0\003\002\0ab' > "$out/decode/fields.gz"
printf 'name\0comment\0\001\0\0\377\377\0\0\0\0\0\0\0\0' >> "$out/decode/fields.gz"
# A first member of exactly 32768 bytes (one stored block), so that the
# second one starts where the first full input buffer ends.
perl -e '
  sub crc { my $c = 0xFFFFFFFF;
    for my $b (unpack "C*", $_[0]) { $c ^= $b; $c = $c & 1 ? ($c >> 1) ^ 0xEDB88320 : $c >> 1 for 1 .. 8 }
    return $c ^ 0xFFFFFFFF }
  sub member { my ($d) = @_; my $n = length $d;
    return "\x1f\x8b\x08\0\0\0\0\0\0\x03" . pack("Cvv", 1, $n, ~$n & 0xFFFF) . $d . pack("VV", crc($d), $n) }
  print member("q" x (32768 - 23)), member("after the boundary");
' > "$out/decode/boundary-members.gz"

# Round trip: the plain inputs, and expanded repetitions (first byte 0xFF).
for f in intro.txt list.txt edit.tcl binary.bin one.txt; do cp "$tmp/p/$f" "$out/roundtrip/$f"; done
{ printf '\377\077'; head -c 1500 "$tmp/p/edit.tcl"; } > "$out/roundtrip/repeat-edit"
{ printf '\377\010'; cat "$tmp/p/binary.bin"; } > "$out/roundtrip/repeat-binary"

# Install lists: the first byte picks the name buffer (index 9: 512 bytes,
# 0: 1 byte, 3: 4 bytes, 6: 16 bytes).
{ printf '\011'; cat "$root/product/install.lst"; } > "$out/install_list/product"
{ printf '\003'; cat "$root/product/install.lst"; } > "$out/install_list/product-size4"
printf '\011Kovra\r\nD "bin" "755"\r\nD "src/help" "755"\r\nF "bin/kohelp.exe" "755"\r\n' \
  > "$out/install_list/crlf"
printf '\011t\n F "a" "644"\nf "b" "644"\nF nothing here\nD "x" "700"\nF "my file" "640"\n' \
  > "$out/install_list/ignored-lines"
printf '\011t\n\n\r\n\r\rF "a" "7"\rF "b" ""\nF "c" "x1"\nD "c" "0755"\nF "d" "0755"' \
  > "$out/install_list/modes"
printf '\003t\nF "abcd" "640"\nF "e" "600"\nF "abcdefgh" "640"\n' > "$out/install_list/cut-names"
printf '\000t\nF "a" "644"\nF "bcd' > "$out/install_list/size1-cut-end"
printf '\011t\nD "../x" "755"\nF "/etc/x" "644"\nF "C:x" "644"\nF "a/. ./b" "644"\n' \
  > "$out/install_list/unsafe-names"

# Command lines of the splitter tests.
i=0
for line in 'a  b' '"x y" z' '""' '"abc' '"a"b' 'ab"cd ef"' 'a "' ' a' 'a   ' \
  "$(printf 'a\tb\nc\vd\fe\rf')" '"C:\Kovra 4\bin\kohelp.exe" "first topic" x' 'back\"slash' \
  "$(printf '\351t\351 \240x')"; do
  printf '%s' "$line" > "$out/cmd2argv/line$i"
  i=$((i + 1))
done
echo "corpora written to $out"
