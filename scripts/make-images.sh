#!/usr/bin/env bash
# Draws the device pictures: one 250 x 220 PNG per type name of the two built-in product tables
# (read from src/app/settings.cpp), named exactly type name + ".png", into images/.
# The pictures are drawn here from the type names alone, with ImageMagick. They are stored in
# several PNG forms on purpose (palette, RGB, RGBA, interlaced, 16-bit, grey), so every form the
# program must read is exercised by the pictures it ships.
# Usage: scripts/make-images.sh [output folder]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-$ROOT/images}
SETTINGS=$ROOT/src/app/settings.cpp
FONT=DejaVu-Sans-Bold
mkdir -p "$OUT"

# The table texts: the string literal given to each constant (entries separated by blanks).
table() {
    sed -n "s/.*$1 *= *\"\\([^\"]*\\)\".*/\\1/p" "$SETTINGS"
}
orvex=$(table kBuiltInOrvexTable)
hwg=$(table kBuiltInHwgTable)
[ -n "$orvex" ] && [ -n "$hwg" ] || { echo "make-images: product tables not found in $SETTINGS" >&2; exit 1; }

declare -A seen=()
index=0

draw() {
    local family=$1 name=$2 body accent model
    local file="$OUT/$name.png"
    model=${name##* }
    [ "$name" != Unknown ] || { family=Device; model=; }
    case "$name" in
        Unknown)      body='#8a8f96'; accent='#c9ccd1' ;;
        Damocles*)    body='#2f7d4f'; accent='#bfe3c9' ;;
        Poseidon2*)   body='#1f3f77'; accent='#a9c1ea' ;;
        Poseidon*)    body='#4a6b8f'; accent='#c8d8ea' ;;
        *)            body='#c0561f'; accent='#f3d2b8' ;;
    esac

    local args=(-size 250x220 xc:none
        # shadow and housing
        -fill '#00000033' -draw 'roundrectangle 31,58 233,168 14,14'
        -fill "$body" -stroke '#202020' -strokewidth 2 -draw 'roundrectangle 24,50 226,160 14,14'
        -fill "$accent" -stroke none -draw 'roundrectangle 36,62 214,92 6,6'
        # RJ45 socket
        -fill '#d9d9d9' -stroke '#303030' -strokewidth 1 -draw 'rectangle 40,108 76,140'
        -fill '#303030' -draw 'rectangle 50,132 66,140'
        # status lights
        -stroke '#202020' -fill '#3fdc3f' -draw 'circle 92,114 97,114'
        -fill '#f0c419' -draw 'circle 108,114 113,114'
        -fill '#e23b3b' -draw 'circle 124,114 129,114'
    )
    # The family's connectors: terminal blocks for I/O units, sensor jacks for monitoring units.
    local i x
    case "$name" in
        Damocles*|*IO*|*Relay*|*Power*)
            for i in 0 1 2 3 4 5; do
                x=$((140 + i * 13))
                args+=(-fill '#1d6b2d' -stroke '#202020' -draw "rectangle $x,104 $((x + 10)),142"
                       -fill '#b0b0b0' -draw "circle $((x + 5)),112 $((x + 5)),115")
            done ;;
        Unknown) args+=(-fill '#ffffff' -stroke '#202020' -pointsize 40 -font "$FONT" -annotate +160+144 '?') ;;
        *)
            for i in 0 1 2; do
                x=$((150 + i * 22))
                args+=(-fill '#e8e8e8' -stroke '#202020' -draw "roundrectangle $x,106 $((x + 16)),140 3,3"
                       -fill '#404040' -draw "rectangle $((x + 5)),114 $((x + 11)),122")
            done ;;
    esac
    args+=(-stroke none -fill '#202020' -font "$FONT" -pointsize 13 -gravity northwest
           -annotate +44+68 "$family"
           -gravity northeast -annotate +44+68 "$model"
           -gravity north -fill '#202020' -pointsize 17 -annotate +0+176 "$name")

    # Stored form, in turn.
    local form
    if [ "$name" = Unknown ]; then
        form=(-colorspace Gray -define png:color-type=4 -define png:bit-depth=8 "PNG:$file")
    else
        case $((index % 5)) in
            0) form=("PNG32:$file") ;;
            1) form=(-colors 64 "PNG8:$file") ;;
            2) form=(-background '#ececec' -alpha remove -interlace PNG "PNG24:$file") ;;
            3) form=(-background '#ececec' -alpha remove "PNG48:$file") ;;
            4) form=(-interlace PNG "PNG64:$file") ;;
        esac
    fi
    convert "${args[@]}" -strip -define png:exclude-chunks=date,time "${form[@]}"
    index=$((index + 1))
}

for pair in "Orvex:$orvex" "HWG:$hwg"; do
    family=${pair%%:*}
    for entry in ${pair#*:}; do
        name=${entry#*=}
        name=${name//+/ }
        [ -n "$name" ] || continue
        [ -z "${seen[$name]:-}" ] || continue
        seen[$name]=1
        draw "$family" "$name"
    done
done
echo "make-images: ${#seen[@]} pictures in $OUT"
