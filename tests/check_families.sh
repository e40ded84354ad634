#!/usr/bin/env bash
# The device families are told apart in one place: their descriptors (src/core/protocols/<family>,
# TFamily). Anywhere else, a device's family is asked of the descriptor (TProduct::Family(),
# FindFamily, Families()), never by a cast to a family's class nor by comparing a text with a
# family's name. Usage: check_families.sh SRC_DIR
set -euo pipefail
SRC=${1:?usage: check_families.sh SRC_DIR}
[ -d "$SRC/core/protocols" ] || { echo "check_families: no src/core/protocols under $SRC" >&2; exit 2; }

found=$(find "$SRC" -path "$SRC/core/protocols" -prune -o -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z \
    | xargs -0 -r grep -HnE \
        'dynamic_cast<[^>]*TProduct(Orvex|Hwg)|[!=]=[[:space:]]*"(Orvex|HWG)"|"(Orvex|HWG)"[[:space:]]*[!=]=' || true)
if [ -n "$found" ]; then
    echo "$found" >&2
    echo "check_families: a family is told apart outside its descriptor; ask TProduct::Family() or FindFamily" >&2
    exit 1
fi
echo "check_families: no cast to a family's class and no comparison with a family's name outside the descriptors"
