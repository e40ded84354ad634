#!/usr/bin/env bash
# Runs a test program inside a private network namespace: loopback, and a veth pair with a
# default route so that broadcasts have somewhere to go. Nothing leaves this machine.
set -euo pipefail
# Nor does a test reach the session bus of whoever runs it, and with it their keyring: the tests
# of the keyring bring a bus of their own (tests/keyring/session.sh).
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/pyxet-test-bus
exec unshare -rn bash -c '
  ip link set lo up
  ip link add pyx0 type veth peer name pyx1
  ip addr add 10.77.0.1/16 broadcast 10.77.255.255 dev pyx0
  ip link set pyx0 up
  ip link set pyx1 up
  ip route add default via 10.77.0.254 dev pyx0 onlink
  exec "$@"' netns "$@"
