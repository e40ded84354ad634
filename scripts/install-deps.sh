#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Pyxet needs.
# Idempotent and quiet when everything is already there; otherwise a line per phase.
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
  locales socat
  fp-utils libchm-dev
  dpkg-dev file desktop-file-utils appstream strace  # make package and the install tests
  # Logins in the desktop's keyring (QtKeychain, which loads libsecret at run time); the tests
  # start a private session bus with a keyring of their own, and check the backup's systemd units.
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus dbus-bin systemd
  # The window tests' fake notification service runs on a bus of their own (dbus-daemon); Qt's
  # D-Bus module comes with qt6-base-dev.
  dbus-daemon
)

# The unit tests check the device list's order under Czech collation, so the system needs the
# cs_CZ.UTF-8 locale. Listed in /etc/locale.gen, so that a later locale-gen keeps it.
ensure_czech_locale() {
  locale -a 2>/dev/null | grep -qix 'cs_CZ\.utf-\?8' && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Generating the locale cs_CZ.UTF-8"
  if grep -qx '# *cs_CZ\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    "${sudo[@]}" sed -i 's/^# *\(cs_CZ\.UTF-8 UTF-8\)$/\1/' /etc/locale.gen
  elif ! grep -qx 'cs_CZ\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'cs_CZ.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo[@]}" locale-gen >/dev/null
  locale -a | grep -qix 'cs_CZ\.utf-\?8' || { echo "Could not generate the locale cs_CZ.UTF-8" >&2; exit 1; }
}

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then ensure_czech_locale; exit 0; fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  SUDO=(sudo)
fi
# apt runs with the non-interactive front end (passed on the command line, since sudo clears
# the environment): debconf then asks nothing and says nothing. The work is shown a line per
# phase; dpkg's hundreds of lines are counted instead, and debconf's remark about apt-utils is
# dropped. Errors still reach standard error.
APT=("${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -o Dpkg::Use-Pty=0)
quiet_debconf() { grep -v '^debconf: delaying package configuration' >&2 || true; }

echo "install-deps: ${#missing[@]} package(s) missing: ${missing[*]}"
echo "install-deps: updating the package lists..."
"${APT[@]}" -qq update 2> >(quiet_debconf)
total=$("${APT[@]}" -s install --no-install-recommends "${missing[@]}" | grep -c '^Inst ' || true)
echo "install-deps: downloading ${total} package(s), dependencies included..."
"${APT[@]}" -qq install -y --download-only --no-install-recommends "${missing[@]}" 2> >(quiet_debconf)
echo "install-deps: unpacking and setting up ${total} package(s)..."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! "${APT[@]}" install -y --no-install-recommends "${missing[@]}" 2> >(quiet_debconf) |
  tee "$log" | awk -v total="$total" '
    /^Setting up / && total > 0 {
      done++
      step = int(done * 10 / total)
      if (step > shown) { shown = step; printf "install-deps: %d of %d set up\n", done, total; fflush() }
    }'; then
  cat "$log" >&2
  echo "install-deps: apt-get install failed (its output is above)" >&2
  exit 1
fi
ensure_czech_locale
echo "install-deps: done"
