#!/bin/sh
# Builds the media the identification tests read, with the real tools that make such files:
# a Windows program with a version resource, an .msi, a .deb, an .rpm, an ISO image and zip
# files,
# and damaged or hostile copies made from the real files.
# Usage: make_fixtures.sh SOURCE_DIR OUTPUT_DIR
set -eu
src=$1
out=$2
rm -rf "$out"
mkdir -p "$out/work" "$out/files" "$out/medium" "$out/three"
w=$out/work

# Windows programs: one with a version resource, one without.
x86_64-w64-mingw32-windres "$src/acme.rc" -O coff -o "$w/acme.res.o"
x86_64-w64-mingw32-gcc -s -o "$w/acme.exe" "$src/program.c" "$w/acme.res.o"
x86_64-w64-mingw32-gcc -s -o "$w/plain.exe" "$src/program.c"
# A library of the same product, for the grouping.
x86_64-w64-mingw32-gcc -s -shared -o "$w/acme.dll" "$src/program.c" "$w/acme.res.o"

# An .msi package.
cp "$src/leia.txt" "$w/leia.txt"
(cd "$w" && wixl -o planilha.msi "$src/planilha.wxs")

# A .deb package.
mkdir -p "$w/visor/DEBIAN" "$w/visor/usr/share/doc/visor-fotos"
cp "$src/visor/control" "$w/visor/DEBIAN/control"
cp "$src/leia.txt" "$w/visor/usr/share/doc/visor-fotos/leia.txt"
dpkg-deb --root-owner-group -Zxz --build "$w/visor" "$w/visor-fotos_3.2-1_all.deb" >/dev/null

# An .rpm package.
rpmbuild --quiet -bb --define "_topdir $w/rpm" "$src/editor.rpmbuild" >/dev/null
cp "$w/rpm/RPMS/noarch/editor-grafico-4.1-2.noarch.rpm" "$w/"

# A cabinet file beside the installer, as installers ship their data.
gcab -c "$w/data1.cab" "$src/leia.txt"

# An AppImage is an ELF program marked "AI" 2 after its ELF magic; a copy of a real
# program, marked, stands for one.
cp /bin/true "$w/Foto-1.4-x86_64.AppImage"
printf 'AI\002' | dd of="$w/Foto-1.4-x86_64.AppImage" bs=1 seek=8 conv=notrunc 2>/dev/null

# Hostile copies of the real program.
# Cut short inside its resources.
rsrc=$(x86_64-w64-mingw32-objdump -h "$w/acme.exe" | awk '$2 == ".rsrc" { print $6 }')
rsrc=$(printf '%d' "0x$rsrc")
head -c $((rsrc + 64)) "$w/acme.exe" >"$w/truncated.exe"
# Its resource section moved, in the section table, to an offset far past the end.
lfanew=$(od -An -tu4 -j60 -N4 "$w/acme.exe" | tr -d ' ')
optional=$(od -An -tu2 -j$((lfanew + 20)) -N2 "$w/acme.exe" | tr -d ' ')
sections=$(od -An -tu2 -j$((lfanew + 6)) -N2 "$w/acme.exe" | tr -d ' ')
table=$((lfanew + 24 + optional))
cp "$w/acme.exe" "$w/rsrc_past_end.exe"
i=0
while [ $i -lt "$sections" ]; do
    name=$(dd if="$w/acme.exe" bs=1 skip=$((table + 40 * i)) count=5 2>/dev/null)
    if [ "$name" = ".rsrc" ]; then
        # PointerToRawData, 20 bytes into the section header: 0x7ffff000.
        printf '\000\360\377\177' | dd of="$w/rsrc_past_end.exe" bs=1 \
            seek=$((table + 40 * i + 20)) conv=notrunc 2>/dev/null
    fi
    i=$((i + 1))
done
cmp -s "$w/acme.exe" "$w/rsrc_past_end.exe" && { echo "no .rsrc section patched" >&2; exit 1; }
# A package cut inside its header.
head -c 300 "$w/editor-grafico-4.1-2.noarch.rpm" >"$w/cortado.rpm"
# An archive member that expands about a thousandfold: 64 MiB of zeros as an "installer".
head -c 67108864 /dev/zero >"$w/bomba.msi"
(cd "$w" && zip -q -9 bomb.zip bomba.msi)
rm "$w/bomba.msi"
# A zip holding an installer, one level down.
mkdir -p "$w/nested/Planilha"
cp "$w/planilha.msi" "$w/nested/Planilha/planilha.msi"
(cd "$w/nested" && zip -q -r ../nested.zip Planilha)

f=$out/files
cp "$w/acme.exe" "$f/setup.exe"
cp "$w/plain.exe" "$f/plain.exe"
cp "$w/acme.dll" "$f/acme.dll"
cp "$w/planilha.msi" "$f/planilha.msi"
cp "$w/visor-fotos_3.2-1_all.deb" "$f/"
cp "$w/editor-grafico-4.1-2.noarch.rpm" "$w/cortado.rpm" "$f/"
cp "$src/calculadora.desktop" "$f/"
cp "$src/autorun.inf" "$f/autorun.inf"
cp "$w/Foto-1.4-x86_64.AppImage" "$f/"
cp "$w/truncated.exe" "$w/rsrc_past_end.exe" "$w/bomb.zip" "$w/nested.zip" "$f/"
cp "$src/leia.txt" "$f/leia.exe" # a text file named as a program

# A medium with three products: an installer with its .cab and a program of the same
# product, an .msi, and a .deb.
t=$out/three
mkdir -p "$t/Acme Editor/bin" "$t/Planilha" "$t/linux"
cp "$w/acme.exe" "$t/Acme Editor/setup.exe"
cp "$w/acme.exe" "$t/Acme Editor/bin/acme.exe"
cp "$w/data1.cab" "$t/Acme Editor/data1.cab"
cp "$w/planilha.msi" "$t/Planilha/planilha.msi"
cp "$w/visor-fotos_3.2-1_all.deb" "$t/linux/"

# A fuller medium: the three, an autorun.inf, a folder of plain programs, a launcher, a zip
# holding an installer, and hostile files.
m=$out/medium
cp -R "$t/." "$m/"
cp "$src/autorun.inf" "$m/autorun.inf"
mkdir -p "$m/Jogos" "$m/apps" "$m/extras"
cp "$w/editor-grafico-4.1-2.noarch.rpm" "$m/linux/"
cp "$w/plain.exe" "$m/Jogos/tetris.exe"
cp "$src/calculadora.desktop" "$m/apps/"
cp "$w/nested.zip" "$m/extras/"
cp "$w/truncated.exe" "$w/rsrc_past_end.exe" "$w/bomb.zip" "$m/extras/"

# The same medium as a disc image.
xorriso -as mkisofs -quiet -V ACME_2024 -J -R -o "$out/medium.iso" "$m"
rm -rf "$w"
