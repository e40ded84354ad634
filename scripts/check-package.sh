#!/usr/bin/env bash
# Checks the Debian package on a fresh Debian 12 root: builds it (make package) unless a .deb is
# given, makes a minimal bookworm root with mmdebstrap (needs root and the Debian mirror), and
# inside it: apt-get update, `apt install ./pyxet_*.deb`, runs the installed programs' --version
# and --help (nothing that sends packets), removes the package and checks that nothing of it is
# left. Prints what it did; exits non-zero on the first failure.
#
#   scripts/check-package.sh [PACKAGE.deb]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "check-package.sh: run as root (mmdebstrap makes a chroot)" >&2; exit 1; }
command -v mmdebstrap >/dev/null || apt-get install -y --no-install-recommends mmdebstrap >/dev/null

if [ $# -ge 1 ]; then
  deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
else
  make -C "$ROOT" package
  deb=$(ls "$ROOT"/build-package/pyxet_*.deb)
fi
name=$(basename "$deb")
echo "== $name"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
# What is loaded at run time and no linker sees: libsecret (QtKeychain's way to the keyring).
dpkg-deb --field "$deb" Depends | grep -q 'libsecret-1-0' || { echo "check-package.sh: the package does not depend on libsecret-1-0" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$deb" "$work/$name"

# Runs inside the new root once it is set up; its output is the check's record.
cat >"$work/inside.sh" <<INSIDE
set -euxo pipefail
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
cd /tmp
apt-get update -q
apt install -y ./$name
dpkg -s pyxet | grep -E '^(Status|Version):'
dpkg -L pyxet | grep -E 'bin/|\.desktop|metainfo|scalable|man1|default\.mo|\.chm|systemd/user' | sort
test -x /usr/bin/pyxet-backup
test -s /usr/lib/systemd/user/pyxet-backup.timer
test -s /usr/share/pyxet/locale/en/Pyxet.chm
test -s /usr/share/pyxet/locale/cs/Pyxet.chm
pyxet-cli --version
env -u DISPLAY -u WAYLAND_DISPLAY pyxet --version
env -u DISPLAY -u WAYLAND_DISPLAY pyxet --help
# The programs start with what the package pulled in. In a network namespace of their own, with
# no interface up, so that nothing they send can leave.
unshare -n pyxet-cli find --wait 0.5 --log
HOME=/tmp/home QT_QPA_PLATFORM=offscreen unshare -n pyxet --quit-after 2
cat /tmp/home/.config/pyxet/Pyxet.ini | head -n 4
apt-get remove --purge -y pyxet
apt-get autoremove --purge -y
if dpkg -s pyxet 2>/dev/null; then echo "pyxet is still installed"; exit 1; fi
test ! -e /usr/bin/pyxet-cli
test ! -e /usr/bin/pyxet
test ! -e /usr/bin/pyxet-backup
test ! -e /usr/lib/systemd/user/pyxet-backup.service
test ! -e /usr/share/pyxet
test ! -e /usr/share/applications/org.example.Pyxet.desktop
test -z "\$(find /usr/share/icons -name 'org.example.Pyxet*')"
echo "package installed, ran and removed cleanly"
INSIDE

mmdebstrap --variant=apt --include=ca-certificates \
  --customize-hook="upload $work/$name /tmp/$name" \
  --customize-hook="upload $work/inside.sh /tmp/inside.sh" \
  --customize-hook='chroot "$1" bash /tmp/inside.sh' \
  bookworm "$work/root.tar" 2>&1 | tee "$work/log" | grep -vE '^I: |^(Get|Hit|Fetched|Reading|Building|Selecting|Preparing|Unpacking|Setting up|Processing|\(Reading)'
echo "== fresh Debian 12 root: install, run, remove: passed"
