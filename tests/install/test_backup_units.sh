#!/usr/bin/env bash
# The nightly backup's systemd user units and their wrapper: copies of pyxet-backup.service and
# pyxet-backup.timer whose ExecStart names the built wrapper pass `systemd-analyze verify` without
# a word (a missing tool is a failure: scripts/install-deps.sh brings systemd); the timer is daily
# and catches up; the wrapper hands pyxet-cli the options of backup.conf, one a line.
#   test_backup_units.sh SOURCE_DIR BIN_DIR
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
BIN=$(cd "${2:?bin folder}" && pwd)
command -v systemd-analyze >/dev/null || { echo "FAIL: systemd-analyze is missing (scripts/install-deps.sh installs systemd)"; exit 1; }
[ -x "$BIN/pyxet-backup" ] || { echo "FAIL: no $BIN/pyxet-backup"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/units" "$work/run"
cp "$SRC/packaging/pyxet-backup.service" "$SRC/packaging/pyxet-backup.timer" "$work/units/"
grep -qx 'ExecStart=pyxet-backup' "$work/units/pyxet-backup.service" || fail "the service does not start pyxet-backup"
sed -i "s|^ExecStart=pyxet-backup\$|ExecStart=$BIN/pyxet-backup|" "$work/units/pyxet-backup.service"
# As the user's manager reads them; the manual page is not looked for (it is not installed here).
out=$(XDG_RUNTIME_DIR=$work/run systemd-analyze --user verify --man=no \
  "$work/units/pyxet-backup.service" "$work/units/pyxet-backup.timer" 2>&1) || fail "systemd-analyze verify: $out"
[ -z "$out" ] || fail "systemd-analyze verify says: $out"
grep -qx 'OnCalendar=daily' "$work/units/pyxet-backup.timer" || fail "the timer is not daily"
grep -qx 'Persistent=true' "$work/units/pyxet-backup.timer" || fail "the timer does not catch up"
grep -qx 'Type=oneshot' "$work/units/pyxet-backup.service" || fail "the service is not a oneshot"

# The wrapper with a pyxet-cli beside it that prints its arguments, one a line.
mkdir -p "$work/bin" "$work/home/.config/pyxet"
cp "$BIN/pyxet-backup" "$work/bin/"
printf '#!/bin/sh\nfor a in "$@"; do printf "[%%s]\\n" "$a"; done\n' >"$work/bin/pyxet-cli"
chmod +x "$work/bin/pyxet-cli"
run() { env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$work/home" "$work/bin/pyxet-backup" | paste -sd' '; }
base="[backup] [--all] [--login] [keyring] [--dir] [$work/home/.local/share/pyxet/backup]"
[ "$(run)" = "$base" ] || fail "without backup.conf: $(run)"
[ -d "$work/home/.local/share/pyxet/backup" ] || fail "the backup folder was not made"
printf '# the office network\n\n  --wait 5  \n--interface eth1\n--type=Poseidon 2250\n--type Damocles MINI\n--repeat=2' \
  >"$work/home/.config/pyxet/backup.conf"
expected="$base [--wait] [5] [--interface] [eth1] [--type=Poseidon 2250] [--type] [Damocles MINI] [--repeat=2]"
[ "$(run)" = "$expected" ] || fail "with backup.conf: $(run)"
echo "backup units verified; the wrapper passes backup.conf on"
