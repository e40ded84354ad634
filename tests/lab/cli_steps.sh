# Sourced by the steps a lab test runs inside the lab, in the work folder english_cli made:
# run NAME ARGS... runs ./pyxet-cli ARGS, its output in NAME.out and NAME.err, its status in NAME.rc.
run() {
  local name=$1
  shift
  ./pyxet-cli "$@" >"$name.out" 2>"$name.err"
  echo $? >"$name.rc"
}
