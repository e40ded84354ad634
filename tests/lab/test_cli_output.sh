#!/usr/bin/env bash
# pyxet-cli's standard output and command line:
#  1. output that cannot be written (a full device, a reader that went away while SIGPIPE is
#     ignored) gives one line on standard error and exit status 1, for the list and for --json;
#  2. a reader that goes away early (`| head`) ends the program by SIGPIPE, without a message;
#  3. an unknown command is named, with the usage, exit status 2; so is an unknown option, with
#     its command's usage and a pointer to the command's --help; a value may follow its option
#     after '=' (a wrong one is named the same way); each command has its own --help.
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


# An unknown option of a command: named with the command, its usage, the hint, status 2.
"$ROOT/tests/netns.sh" "$CLI" backup 10.77.5.1 --bogus=1 >"$work/opt.out" 2>"$work/opt.err"
check "unknown option: exit status" 2 $?
check "unknown option: the message names it" "pyxet-cli: --bogus: unknown option of 'pyxet-cli backup'" \
  "$(head -n 1 "$work/opt.err")"
contains "unknown option: the command's usage" "usage: pyxet-cli backup HOST...|--all" "$work/opt.err"
check "unknown option: the hint is the last line" "See 'pyxet-cli backup --help'." "$(tail -n 1 "$work/opt.err")"
check "unknown option: nothing on standard output" "" "$(cat "$work/opt.out")"
"$ROOT/tests/netns.sh" "$CLI" restart 10.77.5.1 --name X >/dev/null 2>"$work/other.err"
check "an option of another command: exit status" 2 $?
check "an option of another command: named" "pyxet-cli: --name: unknown option of 'pyxet-cli restart'" \
  "$(head -n 1 "$work/other.err")"
"$ROOT/tests/netns.sh" "$CLI" find --wait >/dev/null 2>"$work/novalue.err"
check "an option without its value: exit status" 2 $?
check "an option without its value: named" "pyxet-cli: --wait: needs a value" "$(head -n 1 "$work/novalue.err")"

# --opt=VALUE as well as --opt VALUE: taken, and refused by the same words.
"$ROOT/tests/netns.sh" "$CLI" find --wait=0 --repeat=1 --json >"$work/eq.out" 2>"$work/eq.err"
check "find --wait=0 --repeat=1 --json: exit status" 0 $?
check "find --wait=0 --repeat=1 --json: an empty list" "[]" "$(tr -d ' \n' <"$work/eq.out")"
check "find --wait=0 --repeat=1 --json: nothing on standard error" "" "$(cat "$work/eq.err")"
for form in "--jobs=40" "--jobs 40"; do
  # shellcheck disable=SC2086  # the form is one or two words on purpose
  "$ROOT/tests/netns.sh" "$CLI" backup 10.77.5.1 $form >"$work/jobs.out" 2>"$work/jobs.err"
  check "backup $form: exit status" 2 $?
  check "backup $form: named" 'pyxet-cli: --jobs: takes a number from 1 to 32, not "40"' "$(head -n 1 "$work/jobs.err")"
  check "backup $form: nothing on standard output" "" "$(cat "$work/jobs.out")"
done
"$ROOT/tests/netns.sh" "$CLI" set 10.77.5.1 --dhcp=1 --dhcp 0 >/dev/null 2>"$work/twice.err"
check "a setup value given twice: exit status" 2 $?
check "a setup value given twice: named" "pyxet-cli: --dhcp: given twice" "$(head -n 1 "$work/twice.err")"

# Each command's --help: its own usage and its options, on standard output, status 0.
help_of() {  # help_of USAGE OPTION COMMAND...: `pyxet-cli COMMAND... --help`
  local usage=$1 option=$2
  shift 2
  "$ROOT/tests/netns.sh" "$CLI" "$@" --help >"$work/sub.out" 2>"$work/sub.err"
  check "$* --help: exit status" 0 $?
  check "$* --help: its usage first" "$usage" "$(head -n 1 "$work/sub.out" | cut -c1-${#usage})"
  grep -qE -- "^  $option( |\$)" "$work/sub.out" || { echo "FAIL: $* --help: no option $option" >&2; failures=$((failures + 1)); }
  check "$* --help: nothing on standard error" "" "$(cat "$work/sub.err")"
}
help_of "usage: pyxet-cli find [" --csv find
help_of "usage: pyxet-cli set TARGET" --telnet-port set
help_of "usage: pyxet-cli upgrade FILE" --verify upgrade
help_of "usage: pyxet-cli restore HOST" --file restore 10.77.5.1
help_of "usage: pyxet-cli plan make" --ip-from plan make
help_of "usage: pyxet-cli plan apply FILE" --save-undo plan apply
grep -qE -- "^  --ip-from " "$work/sub.out" && { echo "FAIL: plan apply --help lists make's --ip-from" >&2; failures=$((failures + 1)); }
"$ROOT/tests/netns.sh" "$CLI" upgrade -h >/dev/full 2>"$work/full.err"
check "upgrade -h to a full device: exit status" 1 $?
contains "upgrade -h to a full device: message" "pyxet-cli: cannot write to standard output" "$work/full.err"

finish_checks
echo "pyxet-cli output and command line: ok"
