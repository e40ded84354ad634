#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Pyxet needs.
# Idempotent and quiet when everything is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev-tools libgl-dev qt6-translations-l10n
  libcurl4-openssl-dev libpng-dev zlib1g-dev gettext
  libgtest-dev libgmock-dev
  libcpp-httplib-dev libcli11-dev nlohmann-json3-dev
  iproute2 util-linux curl python3
  xvfb xauth x11-utils imagemagick fonts-dejavu-core xdotool fonts-urw-base35
  clang libclang-rt-dev clang-format
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  SUDO=(sudo)
fi
# sudo clears the environment, so the non-interactive front end is passed on the command line:
# a question from a package would otherwise wait unseen behind the silenced install.
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
