#!/usr/bin/env bash
# The dependency check must catch every kind of wrong include: each one below is planted in a
# copy of the source tree, and check_layers.sh must refuse it, naming the file.
# Usage: check_layers_planted.sh SRC_DIR QT_HEADERS_DIR
set -euo pipefail
SRC=${1:?usage: check_layers_planted.sh SRC_DIR QT_HEADERS_DIR}
QT=${2:?usage: check_layers_planted.sh SRC_DIR QT_HEADERS_DIR}
CHECK="$(dirname "$0")/check_layers.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$CHECK" "$SRC" "$QT" >/dev/null || { echo "the tree itself does not pass the check" >&2; exit 1; }

failed=0
# plant FILE INCLUDE-LINE: the check must refuse the copy with that line added to FILE.
plant() {
    rm -rf "$work/src"
    cp -r "$SRC" "$work/src"
    [ -f "$work/src/$1" ] || { echo "planted: no file src/$1" >&2; failed=1; return; }
    printf '%s\n' "$2" >>"$work/src/$1"
    if out=$(bash "$CHECK" "$work/src" "$QT" 2>&1); then
        echo "not caught: $2 in src/$1" >&2
        failed=1
    elif ! grep -q "src/$1:" <<<"$out"; then
        echo "caught, but without naming src/$1: $out" >&2
        failed=1
    else
        echo "caught: $2 in src/$1"
    fi
}

plant core/devices/product.h '#include <QWidget>'
plant core/devices/product.h '#include "ui_form.h"'
plant core/devices/product.h '#include "gui/app/form.h"'
plant core/devices/product.h '#include "../log/format.h"'
plant core/devices/product.h '#include "log/format.h"'
plant gui/app/form.h '#include "cli/session.h"'
plant core/log/format.h '#include "core/app/i18n.h"'
plant core/app/settings.h '#include "core/devices/product.h"'
plant core/devices/registry.h '#include "core/protocols/orvex/product.h"'
plant core/devices/registry.h '#include "core/discovery/discovery.h"'
plant core/protocols/orvex/product.h '#include "core/discovery/discovery.h"'
plant core/discovery/discovery.h '#include "core/http/http.h"'
plant core/discovery/discovery.h '#include "core/setup/fields.h"'
plant core/http/http.h '#include "core/setup/fields.h"'
plant core/setup/fields.h '#include "core/http/http.h"'
plant core/help/helpbook.h '#include "core/devices/product.h"'
plant core/app/settings.h '#include "core/help/helpbook.h"'

[ $failed -eq 0 ] && echo "check_layers_planted: every planted include was refused"
exit $failed
