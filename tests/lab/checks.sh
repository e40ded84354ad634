# Sourced by the lab test scripts: counted checks that report every failure and let the script
# go on; finish_checks ends the script with the verdict.
failures=0
check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1: expected [$2], got [$3]" >&2
    failures=$((failures + 1))
  fi
}
contains() {  # contains DESCRIPTION NEEDLE FILE
  grep -qF -- "$2" "$3" || { echo "FAIL: $1: no [$2] in $3" >&2; failures=$((failures + 1)); }
}
finish_checks() {
  [ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
}
# english_cli FOLDER: a private copy of pyxet-cli from $BIN with its catalogues and a Pyxet.ini
# that chooses English, whatever the machine's Pyxet.ini says; and cli_steps.sh for the steps run
# inside the lab.
english_cli() {
  cp "$BIN/pyxet-cli" "$1/pyxet-cli"
  cp -r "$BIN/locale" "$1/"
  printf '[Setup]\nLang=en\n' >"$1/Pyxet.ini"
  cp "$(dirname "${BASH_SOURCE[0]}")/cli_steps.sh" "$1/"
}
# cli_lab_work: for a script given the bin folder as $BIN: ROOT (the repository), PYXET_BIN and
# the locale exported, a work folder $work (removed at exit unless KEEP is set) made by
# english_cli, and TAB.
cli_lab_work() {
  ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  export PYXET_BIN=$BIN LC_ALL=C.UTF-8
  work=$(mktemp -d)
  trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
  english_cli "$work"
  TAB=$'\t'
}
