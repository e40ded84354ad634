# The checks a lab test script runs in Python once the lab has ended, over its work folder:
#   python3 - "$work" "$HERE" <<'PY' || failures=$((failures + 1))
#   import sys; sys.path.insert(0, sys.argv[2]); from labchecks import *
#   expect("what", got, want) ...
#   finish()
# path/text/load read the work folder's files, `events` the simulator's events file
# (events.jsonl) when there is one, since(STEP[, END]) the events between two marks (files
# STEP.mark holding a line count of the events file).
import json
import os
import sys

work = sys.argv[1]
errors = []


def path(name):
    return os.path.join(work, name)


def text(name):
    return open(path(name), encoding="utf-8").read()


def load(name):
    return json.load(open(path(name), encoding="utf-8"))


def expect(what, got, want):
    if got != want:
        errors.append("%s: %r, expected %r" % (what, got, want))


events = [json.loads(line) for line in open(path("events.jsonl"))] if os.path.exists(path("events.jsonl")) else []


def since(step, end=None):
    first = int(open(path(step + ".mark")).read())
    last = int(open(path(end + ".mark")).read()) if end else len(events)
    return events[first:last]


def finish():
    for e in errors:
        print("FAIL: " + e, file=sys.stderr)
    sys.exit(1 if errors else 0)
