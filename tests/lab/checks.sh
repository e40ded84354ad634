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
