#!/usr/bin/env bash
# The one rule of dependencies between the source folders, checked on every #include:
#  - src/core (pyxet_core) uses Qt Core and Qt Network only: every Qt header it names must be one
#    of theirs (no widget, no QtGui), and its own includes are "core/..." only: nothing from
#    src/gui, src/app or src/cli, and no generated form header (ui_*.h);
#  - within src/core the folders stand on floors, and a file includes only its own folder and
#    the folders it stands on (core_may_use below): log and app at the bottom, then devices (the
#    device model), protocols (the families), discovery (what drives the families), config (the
#    configuration files: read, compared, kept; on devices), keyring (the logins kept in the desktop's
#    keyring; on devices), watch (a site watched over rounds of discovery; on discovery), and on top setup and http; help stands on app alone;
#  - src/gui (pyxet_gui) includes nothing from the programs in src/app and src/cli.
# Usage: check_layers.sh SRC_DIR QT_HEADERS_DIR (the folder holding QtCore/ and QtNetwork/)
set -euo pipefail
SRC=${1:?usage: check_layers.sh SRC_DIR QT_HEADERS_DIR}
QT=${2:?usage: check_layers.sh SRC_DIR QT_HEADERS_DIR}
[ -d "$SRC/core" ] && [ -d "$SRC/gui" ] || { echo "check_layers: no src/core or src/gui under $SRC" >&2; exit 2; }
[ -f "$QT/QtCore/QObject" ] || { echo "check_layers: no Qt headers in $QT" >&2; exit 2; }

bad=0
complain() {
    echo "$1: $2" >&2
    bad=1
}

# Prints "FILE:LINE<TAB>NAME<TAB>KIND" for each #include, KIND being < or ".
includes() {
    find "$1" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \) -print0 | sort -z \
        | xargs -0 -r grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' \
        | sed -E 's/^([^:]+:[0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^>"]*)[>"].*/\1\t\3\t\2/'
}

# A Qt header of Qt Core or Qt Network: <QString>, <QtCore/QString>, <QtNetwork>.
qt_core_or_network() {
    case $1 in
        QtCore | QtNetwork | QtCore/* | QtNetwork/*) return 0 ;;
        Qt*/*) return 1 ;;
    esac
    [ -f "$QT/QtCore/$1" ] || [ -f "$QT/QtNetwork/$1" ]
}

# The core folders a core folder may include besides itself; an unknown folder may include none.
core_may_use() {
    case $1 in
        log) echo "" ;;
        app) echo "log" ;;
        devices) echo "log app" ;;
        protocols) echo "log app devices" ;;
        discovery) echo "log app devices protocols" ;;
        config) echo "log app devices" ;;
        keyring) echo "log app devices" ;;
        setup | http) echo "log app devices protocols discovery config keyring" ;;
        watch) echo "log app devices protocols discovery" ;;
        help) echo "log app" ;;
        *) echo "" ;;
    esac
}

# The core folder of a path under src/core, or of an include "core/<folder>/...".
core_folder() {
    local rest=${1#*core/}
    echo "${rest%%/*}"
}

while IFS=$'\t' read -r where name kind; do
    if [[ $name == core/*/* ]]; then
        from=$(core_folder "${where#"$SRC"/}")
        to=$(core_folder "$name")
        if [ "$from" != "$to" ] && [[ " $(core_may_use "$from") " != *" $to "* ]]; then
            complain "$where" "$name: core/$from must not use core/$to, which stands above it or beside it"
        fi
    fi
    case $name in
        */ui_*.h | ui_*.h) complain "$where" "generated form header $name in the window-free core" ;;
        ../* | */../*) complain "$where" "relative include $name: write \"core/<subsystem>/<file>.h\"" ;;
        gui/* | app/* | cli/*) complain "$where" "$name belongs to src/${name%%/*}, which the core must not use" ;;
        Q*)
            qt_core_or_network "$name" || complain "$where" "<$name> is not a Qt Core or Qt Network header"
            ;;
        *)
            if [ "$kind" = '"' ] && [[ $name != core/* ]]; then
                complain "$where" "\"$name\": the core includes its own files as \"core/<subsystem>/<file>.h\""
            fi
            ;;
    esac
done < <(includes "$SRC/core")

while IFS=$'\t' read -r where name kind; do
    case $name in
        app/* | cli/*)
            complain "$where" "$name belongs to a program (src/${name%%/*}), which the windows must not use"
            ;;
        ../* | */../*) complain "$where" "relative include $name: write \"gui/<subsystem>/<file>.h\"" ;;
    esac
done < <(includes "$SRC/gui")

if [ $bad -ne 0 ]; then
    echo "check_layers: the core must not use windows, a core folder must not use one above it, and the windows must not use the programs" >&2
    exit 1
fi
echo "check_layers: src/core uses Qt Core and Network only, each core folder only those below it; src/gui uses no program code"
