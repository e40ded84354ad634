#!/usr/bin/env bash
# pyxet-cli's standard output and command line:
#  1. output that cannot be written (a full device, a reader that went away while SIGPIPE is
#     ignored) gives one line on standard error and exit status 1, for the list and for --json;
#  2. a reader that goes away early (`| head`) ends the program by SIGPIPE, without a message;
#  3. an unknown command is named, with the usage, exit status 2.
# Usage: test_cli_output.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_cli_output.sh BIN_DIR}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export PYXET_BIN=$BIN LC_ALL=C.UTF-8
CLI=$BIN/pyxet-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

lines() { wc -l <"$1" | tr -d ' '; }

# --- 1 and 2: a fleet whose list is far larger than a pipe's buffer (about 180 kB), so that a
# reader that stops after 100 bytes is certainly gone before the last write. SIGPIPE is set
# explicitly both ways, whatever the test runner passes on.
cat >"$work/inside.sh" <<'EOF'
cli=$1 out=$2
"$cli" find --wait 1.5 --json >/dev/full 2>"$out/json.err"; echo $? >"$out/json.rc"
"$cli" find --wait 1.5 >/dev/full 2>"$out/plain.err"; echo $? >"$out/plain.rc"
env --default-signal=PIPE "$cli" find --wait 1.5 2>"$out/pipe.err" | head -c 100 >"$out/pipe.out"
echo "${PIPESTATUS[0]}" >"$out/pipe.rc"
env --ignore-signal=PIPE "$cli" find --wait 1.5 2>"$out/epipe.err" | head -c 100 >/dev/null
echo "${PIPESTATUS[0]}" >"$out/epipe.rc"
EOF
"$ROOT/scripts/lab.sh" --orvex 2000 --hwg 0 -- bash "$work/inside.sh" "$CLI" "$work"
check "lab ran" 0 $?

check "--json to a full device: exit status" 1 "$(cat "$work/json.rc")"
check "--json to a full device: one line on standard error" 1 "$(lines "$work/json.err")"
contains "--json to a full device: message" "pyxet-cli: cannot write to standard output" "$work/json.err"
check "list to a full device: exit status" 1 "$(cat "$work/plain.rc")"
check "list to a full device: one line on standard error" 1 "$(lines "$work/plain.err")"
contains "list to a full device: message" "pyxet-cli: cannot write to standard output" "$work/plain.err"

check "| head -c 100: ended by SIGPIPE" 141 "$(cat "$work/pipe.rc")"
check "| head -c 100: no message" "" "$(cat "$work/pipe.err")"
check "| head -c 100: the reader got its bytes" 100 "$(wc -c <"$work/pipe.out" | tr -d ' ')"
check "closed pipe with SIGPIPE ignored: exit status" 1 "$(cat "$work/epipe.rc")"
check "closed pipe with SIGPIPE ignored: one line on standard error" 1 "$(lines "$work/epipe.err")"
contains "closed pipe with SIGPIPE ignored: message" "pyxet-cli: cannot write to standard output" "$work/epipe.err"

# Without devices the empty JSON list is output as well; the usage of --help too.
"$ROOT/tests/netns.sh" "$CLI" find --wait 0 --json >/dev/full 2>"$work/empty.err"
check "empty --json list to a full device: exit status" 1 $?
check "empty --json list to a full device: one line on standard error" 1 "$(lines "$work/empty.err")"
"$ROOT/tests/netns.sh" "$CLI" --help >/dev/full 2>"$work/help.err"
check "--help to a full device: exit status" 1 $?
contains "--help to a full device: message" "pyxet-cli: cannot write to standard output" "$work/help.err"
"$ROOT/tests/netns.sh" "$CLI" --help >"$work/help.out" 2>"$work/help.err"
check "--help: exit status" 0 $?
contains "--help: usage on standard output" "usage: pyxet-cli find" "$work/help.out"
check "--help: nothing on standard error" "" "$(cat "$work/help.err")"

# --- 3. The command line -----------------------------------------------------------------------
"$ROOT/tests/netns.sh" "$CLI" bogus >"$work/bogus.out" 2>"$work/bogus.err"
check "unknown command: exit status" 2 $?
contains "unknown command: named" "pyxet-cli: unknown command 'bogus'" "$work/bogus.err"
contains "unknown command: usage" "usage: pyxet-cli find" "$work/bogus.err"
check "unknown command: nothing on standard output" "" "$(cat "$work/bogus.out")"
"$ROOT/tests/netns.sh" "$CLI" >"$work/none.out" 2>"$work/none.err"
check "no command: exit status" 2 $?
contains "no command: usage" "usage: pyxet-cli find" "$work/none.err"

finish_checks
echo "pyxet-cli output and command line: ok"
