#!/usr/bin/env bash
# The installed programs: `cmake --install` into a temporary prefix (a blank in its name), then
#  1. the layout: programs (no simulator), catalogues, help files, pictures, menu entry, icons,
#     AppStream metadata, manual pages, pyxet-cli's bash completion (which, sourced in bash,
#     offers the commands, every option each command's --help lists, and files where a file is
#     expected);
#  2. `pyxet --help` without a display names share/pyxet and the user's configuration folder;
#  3. pyxet-cli in a private namespace takes its catalogue from share/pyxet and its settings from
#     $XDG_CONFIG_HOME/pyxet, not from a Pyxet.ini beside the program;
#  4. pyxet offscreen in the lab opens a device picture and the catalogue from share/pyxet, and
#     writes Pyxet.ini into $XDG_CONFIG_HOME/pyxet (or ~/.config/pyxet), never into the prefix.
# Usage: test_install.sh BUILD_DIR
set -uo pipefail
BUILD=$(cd "${1:?usage: test_install.sh BUILD_DIR}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
source "$ROOT/tests/lab/checks.sh"
export PYXET_BIN=$BUILD/bin LC_ALL=C.UTF-8
unset LANGUAGE LC_MESSAGES LANG XDG_CONFIG_HOME
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/pre fix"
ID=org.example.Pyxet

cmake --install "$BUILD" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }

# --- 1. The layout ----------------------------------------------------------------------------
exists() { [ -e "$prefix/$1" ] || { echo "FAIL: not installed: $1" >&2; failures=$((failures + 1)); }; }
for f in bin/pyxet bin/pyxet-cli share/pyxet/locale/cs/LC_MESSAGES/default.mo \
         share/applications/$ID.desktop share/metainfo/$ID.metainfo.xml \
         share/icons/hicolor/scalable/apps/$ID.svg share/man/man1/pyxet.1.gz share/man/man1/pyxet-cli.1.gz \
         share/bash-completion/completions/pyxet-cli bin/pyxet-backup \
         lib/systemd/user/pyxet-backup.service lib/systemd/user/pyxet-backup.timer; do
  exists "$f"
done
check "the simulator is not installed" "" "$(find "$prefix" -name 'pyxet-sim*')"
check "nothing but the programs in bin/" "pyxet pyxet-backup pyxet-cli" "$(ls "$prefix/bin" | tr '\n' ' ' | sed 's/ $//')"
check "every picture" "$(cd "$BUILD/bin/images" && ls)" "$(cd "$prefix/share/pyxet/images" && ls)"
# Every help file the build has (locale/<lang>/Pyxet.chm), byte for byte.
for chm in "$BUILD"/bin/locale/*/Pyxet.chm; do
  [ -e "$chm" ] || continue
  lang=$(basename "$(dirname "$chm")")
  cmp -s "$chm" "$prefix/share/pyxet/locale/$lang/Pyxet.chm" || { echo "FAIL: help file $lang" >&2; failures=$((failures + 1)); }
done
# Each PNG icon is as large as its folder says.
for size in 16 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/$ID.png"
  check "icon ${size}x${size}" "$size $size" "$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' "$png" 2>&1)"
done
check "menu entry starts the installed program" "Exec=pyxet" "$(grep '^Exec=' "$prefix/share/applications/$ID.desktop")"
check "menu entry's icon" "Icon=$ID" "$(grep '^Icon=' "$prefix/share/applications/$ID.desktop")"
zcat "$prefix/share/man/man1/pyxet-cli.1.gz" | grep -q '^\.SH FILES' || { echo "FAIL: pyxet-cli.1.gz" >&2; failures=$((failures + 1)); }

# The completion, sourced in a bash of its own as bash-completion does, asked as the shell asks:
# COMP_WORDS holds the words of the line, COMP_CWORD the one being completed (the last here).
completions() {  # completions WORD...: what the completion offers for the last word, one a line
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _pyxet_cli; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$prefix/share/bash-completion/completions/pyxet-cli" "$@" | sort
}
check "completion: the commands" \
  "$(printf '%s\n' backup check diff drift factory-default find history load login plan restart restore save set upgrade watch)" "$(completions pyxet-cli '')"
check "completion: a command begun" "restart restore" "$(completions pyxet-cli res | tr '\n' ' ' | sed 's/ $//')"
check "completion: plan's commands" "apply make undo" "$(completions pyxet-cli plan '' | tr '\n' ' ' | sed 's/ $//')"
check "completion: login's commands" "forget list set" "$(completions pyxet-cli login '' | tr '\n' ' ' | sed 's/ $//')"
check "completion: --login's value" "keyring" "$(completions pyxet-cli backup --login '')"
check "completion: an option begun" "--jobs --json" "$(completions pyxet-cli backup 10.77.5.1 --j | tr '\n' ' ' | sed 's/ $//')"
check "completion: --family's values" "HWG Orvex" "$(completions pyxet-cli upgrade --family '' | tr '\n' ' ' | sed 's/ $//')"
# Every option each command's --help lists is offered, and no other.
for command in find set restart factory-default upgrade backup restore save load "plan make" "plan apply" "plan undo" \
  "login set" "login list" "login forget"; do
  # shellcheck disable=SC2086  # "plan make" is two words
  listed=$("$ROOT/tests/netns.sh" "$prefix/bin/pyxet-cli" $command --help | grep -oE '^  (-h,)?--[a-z0-9-]+' \
    | sed 's/^  -h,/  /; s/^  //' | sort)
  # shellcheck disable=SC2086
  check "completion of $command: the options its --help lists" "$listed" "$(completions pyxet-cli $command --)"
done
mkdir -p "$work/files/folder"
touch "$work/files/image.kri" "$work/files/secret.txt"
(
  failures=0
  cd "$work/files" || exit 1
  check "completion: the image of upgrade" "image.kri" "$(completions pyxet-cli upgrade im)"
  check "completion: --password-file FILE" "secret.txt" "$(completions pyxet-cli restore 10.77.5.1 --password-file s)"
  check "completion: --password-file=FILE" "secret.txt" "$(completions pyxet-cli restore 10.77.5.1 --password-file = s)"
  check "completion: --dir takes folders only" "folder" "$(completions pyxet-cli backup --dir '')"
  finish_checks
) || failures=$((failures + 1))

# --- 2. pyxet --help without a display ------------------------------------------------------
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
"${no_display[@]}" XDG_CONFIG_HOME="$work/xdg" "$prefix/bin/pyxet" --help >"$work/help" 2>&1
check "pyxet --help without a display: status" 0 $?
contains "pyxet --help: the data folder" "Data (catalogues, help, pictures): $prefix/share/pyxet/" "$work/help"
contains "pyxet --help: the settings" "Settings: $work/xdg/pyxet/Pyxet.ini" "$work/help"
"${no_display[@]}" HOME="$work/home" "$prefix/bin/pyxet" --help >"$work/help" 2>&1
contains "pyxet --help, no XDG_CONFIG_HOME: the settings" "Settings: $work/home/.config/pyxet/Pyxet.ini" "$work/help"
"$prefix/bin/pyxet-cli" --help >"$work/help" 2>&1
check "pyxet-cli --help: status" 0 $?
contains "pyxet-cli --help: the manual page" "pyxet-cli(1)" "$work/help"

# --- 3. pyxet-cli -----------------------------------------------------------------------------
# The user's settings ask for Czech; a Pyxet.ini beside the program, which an installed program
# must not read, asks for English.
mkdir -p "$work/xdg/pyxet"
printf '[Setup]\nLang=cs\n' >"$work/xdg/pyxet/Pyxet.ini"
printf '[Setup]\nLang=en\n' >"$prefix/bin/Pyxet.ini"
XDG_CONFIG_HOME="$work/xdg" "$ROOT/tests/netns.sh" "$prefix/bin/pyxet-cli" find --wait 0.2 --log \
  >"$work/cli.out" 2>"$work/cli.err"
check "pyxet-cli find: status" 0 $?
contains "pyxet-cli speaks Czech from share/pyxet, as the user's settings ask" \
  "INFO	Hledám zařízení. Čekejte prosím." "$work/cli.err"
rm "$prefix/bin/Pyxet.ini"

# --- 4. pyxet, offscreen, in the lab ------------------------------------------------------------
# A save that fails shows a box nobody answers here: `timeout` ends such a run (status 124).
find "$prefix" | sort >"$work/before"
XDG_CONFIG_HOME="$work/cfg" QT_QPA_PLATFORM=offscreen LC_ALL=cs_CZ.UTF-8 \
  "$ROOT/scripts/lab.sh" --orvex 1 --hwg 0 -- \
  timeout 60 strace -f -qq -e trace=openat -o "$work/trace" "$prefix/bin/pyxet" --quit-after 4 >"$work/gui.out" 2>&1
check "pyxet --quit-after in the lab: status" 0 $?
opened() {  # opened DESCRIPTION PATTERN: an openat of a path matching PATTERN that succeeded
  grep -qE "openat\(AT_FDCWD, \"$2\", [^)]*\) = [0-9]+$" "$work/trace" || { echo "FAIL: $1: not opened ($2)" >&2; failures=$((failures + 1)); }
}
opened "catalogue" "$prefix/share/pyxet/locale/cs/LC_MESSAGES/default\.mo"
opened "the selected device's picture" "$prefix/share/pyxet/images/[^\"]+\.png"
[ -f "$work/cfg/pyxet/Pyxet.ini" ] || { echo "FAIL: no Pyxet.ini in \$XDG_CONFIG_HOME/pyxet" >&2; failures=$((failures + 1)); }
contains "the settings written, language from the environment" "Lang=cs" "$work/cfg/pyxet/Pyxet.ini"
check "the configuration folder is the user's alone" 700 "$(stat -c %a "$work/cfg/pyxet")"
find "$prefix" | sort >"$work/after"
check "nothing written into the prefix" "" "$(comm -13 "$work/before" "$work/after")"

# Without XDG_CONFIG_HOME the settings go to ~/.config/pyxet, made on this first run.
mkdir "$work/home"
HOME="$work/home" QT_QPA_PLATFORM=offscreen "$ROOT/tests/netns.sh" timeout 60 "$prefix/bin/pyxet" --quit-after 1 \
  >"$work/gui.out" 2>&1
check "pyxet --quit-after, no XDG_CONFIG_HOME: status" 0 $?
contains "settings in ~/.config/pyxet" "Lang=en" "$work/home/.config/pyxet/Pyxet.ini"
find "$prefix" | sort >"$work/after"
check "nothing written into the prefix" "" "$(comm -13 "$work/before" "$work/after")"

finish_checks
echo "install checks passed"
