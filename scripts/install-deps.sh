#!/usr/bin/env bash
# Installs the Debian packages Quivel needs to build, run and test, plus any named as arguments;
# does nothing when all are there.
set -euo pipefail

packages=(
    g++ cmake make pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools libqt6printsupport6 qt6-qpa-plugins libgl-dev
    qt6-translations-l10n
    libsqlite3-dev sqlite3 postgresql libpq-dev libjpeg-dev libbenchmark-dev mdbtools-dev mdbtools
    libsecret-1-dev gnome-keyring dbus-daemon dbus-bin
    fonts-liberation2 fonts-crosextra-carlito fonts-comic-neue fonts-dejavu-core
    xvfb xauth x11-utils openbox poppler-utils desktop-file-utils appstream
    liblief-dev libmsi-dev libarchive-dev libblkid-dev librpm-dev rpm
    binutils-mingw-w64-x86-64 gcc-mingw-w64-x86-64-win32 mingw-w64-x86-64-dev wixl gcab xorriso zip
    libxlsxwriter-dev libminizip-dev libcsv-dev libreoffice-calc-nogui python3-openpyxl
    xdotool python3
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
