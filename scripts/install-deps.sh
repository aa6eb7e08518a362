#!/usr/bin/env bash
# Installs the Debian packages Ostrevo needs to build, run and test. Idempotent: only
# packages that are missing are installed. Uses sudo when not run as root.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libcups2-dev
  libcurl4-openssl-dev libxml2-dev libssl-dev libqrencode-dev libfreexl-dev libshp-dev libgtest-dev libgmock-dev libharfbuzz-dev libfontconfig-dev zlib1g-dev
  # run
  fonts-liberation fontconfig xdg-utils libglib2.0-bin
  # Qt's own texts (file dialog, context menus) in Polish: qtbase_pl.qm
  qt6-translations-l10n
  # tests and tools: a private cupsd with a cups-pdf queue, PDF and PostScript inspection,
  # real FTP/SMTP servers (msmtp: the sendmail interface under test), dBASE reading, .xls writing, a virtual display for screenshots, fuzzing,
  # strace to see the order in which a printout reaches the disk, GNU time for a peak of memory
  cups cups-client cups-bsd cups-filters printer-driver-cups-pdf poppler-utils qpdf ghostscript
  python3 python3-pyftpdlib python3-aiosmtpd python3-dbfread python3-xlwt msmtp openssl
  # the KSeF stand-in: RSA-OAEP and AES for its messages, xmllint for the FA(3) schema
  python3-cryptography libxml2-utils
  # zbarimg reads printed and PDF barcodes back
  zbar-tools
  # a FUSE mount stands in for a network share that inotify cannot see into
  bindfs
  xvfb xauth x11-apps x11-utils imagemagick paps clang libclang-rt-14-dev strace time
  # the Debian package: built with debhelper, checked with lintian
  debhelper dpkg-dev lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
