# Shared by the screenshot scripts that run Pyxet in the lab on a virtual X display.
# Source it; it defines two functions.

# Starts a copy of the program of bin folder $1 in a folder of its own, in the language of
# PYXET_SHOT_LANG (default en), and waits for its window: sets window (its X id) and arranges
# that the program is ended and its folder removed when the script exits.
start_pyxet_for_shot() {
  shot_app=$(mktemp -d)
  trap '[ -z "${shot_pid:-}" ] || kill "$shot_pid" 2>/dev/null || true; rm -rf "$shot_app"' EXIT
  cp "$1/pyxet" "$shot_app/"
  cp -r "$1/images" "$1/locale" "$shot_app/"
  printf '[Setup]\nLang=%s\n' "${PYXET_SHOT_LANG:-en}" >"$shot_app/Pyxet.ini"
  "$shot_app/pyxet" &
  shot_pid=$!
  window=$(xdotool search --sync --onlyvisible --name '^Pyxet' | head -n1)
  sleep 3
}

# Writes to $2 the fleet file $1 with two HWG devices (Door control, Cellar) configured with the
# address of the Orvex "Hall sensor" (10.77.1.10): a conflict of three devices; and one more HWG
# device whose name of 40 characters is longer than its column.
write_conflict_fleet() {
  python3 - "$1" "$2" <<'PY'
import json, sys
fleet = json.load(open(sys.argv[1], encoding="utf-8"))
for d in fleet:
    if d["mac"] in ("00:0A:59:00:10:02", "00:0A:59:00:10:04"):  # Door control, Cellar
        d["address"] = d["ip"]
        d["ip"] = "10.77.1.10"
fleet.append({"family": "HWG", "mac": "00:0A:59:00:10:12", "name": "Cooling loop 3, north wing, supply water",
              "ip": "10.77.2.22", "type": 14, "firmware": "1.2.3"})
json.dump(fleet, open(sys.argv[2], "w", encoding="utf-8"), ensure_ascii=False)
PY
}
