#!/bin/sh
# Draws the downloads list icons. Each is drawn at 128 px and scaled to
# 16 px, the size the list shows them at. Needs ImageMagick.
set -eu
cd "$(dirname "$0")"
mkdir -p Icons/oxygen Icons/skin resource/icon

S=128
draw() { # output, then -draw arguments
    out=$1; shift
    convert -size ${S}x${S} xc:none "$@" -filter Lanczos -resize 16x16 -strip "PNG32:$out"
}

# A round badge with a white symbol: the state icons and the play marks.
badge() { # output, colour, symbol drawing
    out=$1; colour=$2; shift 2
    draw "$out" -fill "$colour" -stroke '#1b1f24' -strokewidth 6 -draw "circle 64,64 64,4" \
        -stroke none -fill white "$@"
}

# Expand / collapse: a light box with a plus or a minus.
box="roundrectangle 14,14 114,114 18,18"
draw Icons/oxygen/list-add.png -fill '#e6e6e6' -stroke '#5a5a5a' -strokewidth 8 -draw "$box" \
    -stroke none -fill '#303030' -draw "rectangle 34,55 94,73" -draw "rectangle 55,34 73,94"
draw Icons/oxygen/list-remove.png -fill '#e6e6e6' -stroke '#5a5a5a' -strokewidth 8 -draw "$box" \
    -stroke none -fill '#303030' -draw "rectangle 34,55 94,73"

# Playing and paused marks of the played row (green and red, like its text).
badge resource/icon/systray.png '#6fbf1a' -draw "polygon 48,32 100,64 48,96"
badge Icons/oxygen/media-playback-pause.png '#d83a3a' \
    -draw "rectangle 40,32 55,95" -draw "rectangle 72,32 87,95"

# States reported by the core.
badge Icons/skin/download.png '#2f7fd8' \
    -draw "rectangle 56,24 71,64" -draw "polygon 32,60 96,60 64,102"
badge Icons/skin/seeding.png '#2aa05a' \
    -draw "rectangle 56,64 71,104" -draw "polygon 32,68 96,68 64,26"
badge Icons/skin/paused.png '#e08a1e' \
    -draw "rectangle 40,32 55,95" -draw "rectangle 72,32 87,95"
badge Icons/skin/checking.png '#8a6bd1' \
    -draw "polygon 38,28 90,28 64,64" -draw "polygon 38,100 90,100 64,64"
