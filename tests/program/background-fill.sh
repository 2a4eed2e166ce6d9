#!/usr/bin/env bash
# The backdrop's client area is filled with the colour stored in "BgColor": start it alone
# at a known place, take a screenshot of the X display and look at a pixel inside it.
# (A Windows program under Wine cannot read another process's pixels, so this runs outside.)
# Arguments: the wine loader and the folder holding vellamy.exe and its DLLs.
set -euo pipefail
wine=$1
bin=$2
key='HKLM\SOFTWARE\GIMPVellamy'
shot=$(mktemp --suffix=.png)
trap 'rm -f "$shot"; "$wine" reg delete "$key" /f >/dev/null 2>&1 || true' EXIT

"$wine" reg delete "$key" /f >/dev/null 2>&1 || true
set_dword() { "$wine" reg add "$key" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1; }
set_dword MinState 1
set_dword WindowX 100
set_dword WindowY 100
set_dword WindowW 400
set_dword WindowH 300
set_dword BgColor $((0x3C1EC8))  # COLORREF of red 200, green 30, blue 60

cd "$bin"
"$wine" vellamy.exe &
for _ in $(seq 50); do
  sleep 0.2
  import -window root "$shot" 2>/dev/null || continue
  pixel=$(convert "$shot" -format '%[pixel:p{300,250}]' info:)
  if [ "$pixel" = "srgb(200,30,60)" ]; then
    echo "background at (300, 250) is $pixel"
    status=0
    break
  fi
  status=1
done
# Started by hand, the backdrop closes at once when asked: no GIMP window is found.
"$wine" cmd /c "taskkill /im vellamy.exe" >/dev/null 2>&1 || true
wait || true
[ "${status:-1}" -eq 0 ] || { echo "background pixel is ${pixel:-unread}, wanted srgb(200,30,60)"; exit 1; }
