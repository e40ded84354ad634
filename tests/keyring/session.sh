#!/usr/bin/env bash
# Runs a command on a private D-Bus session bus with a keyring of its own, never the user's:
# a temporary HOME and runtime folder, a bus that knows no service files (so that nothing can be
# started on it by name), and gnome-keyring-daemon started on it with --unlock and a test
# password, serving the Secret Service only. With --no-keyring the bus has no keyring at all.
# Everything is removed afterwards; the command's exit status is the script's.
#
#   session.sh [--no-keyring] COMMAND [ARG]...
#
# The command finds the folder in PYXET_TEST_HOME (its HOME). A missing tool is a failure.
set -euo pipefail
keyring=1
if [ "${1:-}" = --no-keyring ]; then
    keyring=0
    shift
fi
[ $# -ge 1 ] || { echo "usage: session.sh [--no-keyring] COMMAND [ARG]..." >&2; exit 2; }
for tool in dbus-run-session dbus-send gnome-keyring-daemon; do
    command -v "$tool" >/dev/null || { echo "session.sh: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/pyxet-keyring.XXXXXX)
cleanup() {
    # The keyring daemon leaves with its bus; a slow one is ended by its id.
    if [ -s "$work/daemon.pid" ]; then kill "$(cat "$work/daemon.pid")" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/home" "$work/run"
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work/run</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF

export HOME=$work/home XDG_RUNTIME_DIR=$work/run PYXET_TEST_HOME=$work/home
export XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share XDG_CACHE_HOME=$work/home/.cache
unset GNOME_KEYRING_CONTROL SSH_AUTH_SOCK DBUS_SESSION_BUS_ADDRESS
export PYXET_KEYRING=$keyring PYXET_KEYRING_WORK=$work
set +e
dbus-run-session --config-file="$work/bus.conf" -- bash -c '
    set -euo pipefail
    if [ "$PYXET_KEYRING" = 1 ]; then
        # The daemon reads the password of its "login" keyring from standard input and creates
        # the keyring with it on first use.
        printf "%s" "pyxet-test-keyring" | gnome-keyring-daemon --unlock --components=secrets >/dev/null
        owner=""
        for _ in $(seq 1 100); do
            if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
                org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; then
                owner=1
                break
            fi
            sleep 0.1
        done
        [ -n "$owner" ] || { echo "session.sh: the keyring did not appear on the bus" >&2; exit 1; }
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.GetConnectionUnixProcessID string:org.freedesktop.secrets |
            awk "/uint32/ {print \$2}" >"$PYXET_KEYRING_WORK/daemon.pid"
    fi
    "$@"
' session "$@"
status=$?
set -e
exit $status
