#!/usr/bin/env bash
# scripts/install-deps.sh against stand-ins for dpkg-query, apt-get and sudo: it shows a line
# per phase instead of minutes of silence, keeps dpkg's lines and debconf's apt-utils remark out
# of sight, runs every apt-get with the non-interactive front end, shows apt's own words when
# the install fails, and says nothing when nothing is missing. $1 (the bin folder) is not used.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
mkdir "$work/bin"

# Everything is installed but what $MISSING names.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
for p in $MISSING; do [ "$p" = "$3" ] && exit 1; done
printf 'install ok installed'
STUB
# apt-get: notes its front end and arguments; the install prints what dpkg and debconf print.
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/bash
echo "${DEBIAN_FRONTEND:-unset} $*" >>"$APT_LOG"
case " $* " in
  *" -s "*) for p in a b c d e f g h i j; do echo "Inst $p (1.0 Debian:12/stable [amd64])"; done ;;
  *" --download-only "*) ;;
  *" install "*)
    echo "debconf: delaying package configuration, since apt-utils is not installed" >&2
    if [ -n "${APT_FAILS:-}" ]; then
      echo "The following packages have unmet dependencies:"
      echo "E: Unable to correct problems, you have held broken packages." >&2
      exit 100
    fi
    for p in a b c d e f g h i j; do
      echo "Selecting previously unselected package $p."; echo "Unpacking $p (1.0) ..."
    done
    for p in a b c d e f g h i j; do echo "Setting up $p (1.0) ..."; done ;;
esac
STUB
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*
# The front end must come from the script, not from the caller.
unset DEBIAN_FRONTEND
export PATH=$work/bin:$PATH APT_LOG=$work/apt.log

# Nothing missing: silent, apt-get never runs.
MISSING="" bash "$ROOT/scripts/install-deps.sh" >"$work/out" 2>&1
check "nothing missing: status" 0 $?
check "nothing missing: output" "" "$(cat "$work/out")"
check "nothing missing: apt-get not run" no "$([ -e "$APT_LOG" ] && echo yes || echo no)"

# Two packages missing (ten with their dependencies).
MISSING="socat git" bash "$ROOT/scripts/install-deps.sh" >"$work/out" 2>"$work/err"
check "install: status" 0 $?
check "install: standard error" "" "$(cat "$work/err")"
check "install: one line per phase, dpkg's counted" "install-deps: 2 package(s) missing: git socat
install-deps: updating the package lists...
install-deps: downloading 10 package(s), dependencies included...
install-deps: unpacking and setting up 10 package(s)...
install-deps: 1 of 10 set up
install-deps: 2 of 10 set up
install-deps: 3 of 10 set up
install-deps: 4 of 10 set up
install-deps: 5 of 10 set up
install-deps: 6 of 10 set up
install-deps: 7 of 10 set up
install-deps: 8 of 10 set up
install-deps: 9 of 10 set up
install-deps: 10 of 10 set up
install-deps: done" "$(cat "$work/out")"
check "every apt-get with the non-interactive front end" "$(wc -l <"$APT_LOG")" "$(grep -c '^noninteractive ' "$APT_LOG")"
check "apt-get runs: update, simulation, download, install" 4 "$(wc -l <"$APT_LOG")"

# A failing install shows apt's explanation and fails.
MISSING="socat" APT_FAILS=1 bash "$ROOT/scripts/install-deps.sh" >"$work/out" 2>"$work/err"
check "failed install: status" 1 $?
contains "failed install: apt's explanation" "The following packages have unmet dependencies:" "$work/err"
contains "failed install: apt's error" "E: Unable to correct problems" "$work/err"

finish_checks
echo "install-deps checks passed"
