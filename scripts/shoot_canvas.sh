#!/usr/bin/env bash
# shoot_canvas.sh PORTMILL OUT_DIR — the pictures of the canvas at two sizes,
# taken inside an X server (xvfb-run -a -s "-screen 0 1280x900x24"):
#   janela-pequena.png  the window at its first size, the sample house just
#                       opened and fitted ("Ajustar"), Home XY done, so the
#                       work area of "Máquina…" is outlined;
#   janela-grande.png   the same window made larger and fitted again, a dry
#                       run of the house under way, a wheel notch back at
#                       the house's lower left corner and a drag to the right.
# Drives the window with xdotool only, on the simulated machine, with the
# settings in a folder of its own.
set -euo pipefail
bin=$1
out=$2
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'kill $pid 2>/dev/null || true; sleep 0.5; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/portmill"
# 50 half-steps per mm; a work area of 120 x 110 mm.
cat >"$XDG_CONFIG_HOME/portmill/portmill.conf" <<'INI'
[maquina]
meiosPassosPorMmX=50
meiosPassosPorMmY=50
cursoX=120
cursoY=110
[janela]
velocidade=3
INI
cp "$here/samples/casa.red" "$work/casa.red"

command -v openbox >/dev/null && { openbox --sm-disable >/dev/null 2>&1 & sleep 0.5; }
"$bin" --port sim >/dev/null 2>&1 &
pid=$!
win=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" | head -1)
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
sleep 0.5
geometry=$(xwininfo -id "$win")
wx=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
wy=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
wh=$(awk '/Height:/ {print $2}' <<<"$geometry")
menu=$(((wh - 536) / 2))
at() { xdotool mousemove --sync $((wx + $1)) $((wy + menu + $2)); }
click() { at "$1" "$2"; xdotool click 1; }

click 516 518  # Home XY
sleep 4
click 94 514   # Dividir cordenadas por: 0.3
xdotool key ctrl+a
xdotool type --delay 5 "0.3"
xdotool mousemove --sync $((wx + 22)) $((wy + menu / 2)) click 1  # Abrir
timeout 10 xdotool search --sync --onlyvisible --name 'Abrir|Open|Arquivo|Selecionar' >/dev/null
sleep 0.3
xdotool type --delay 5 "$work/casa.red"
xdotool key Return
sleep 1.5
click 752 41   # Ajustar
sleep 1
at 10 300
import -window "$win" "$out/janela-pequena.png"

xdotool windowsize --sync "$win" 1180 820
sleep 1
geometry=$(xwininfo -id "$win")
wx=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
wy=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
grow=$((820 - wh))
click $((752 + 1180 - 792)) 41  # Ajustar, at the canvas's new corner
sleep 0.5
click 64 $((424 + grow))        # Fresar, moved down with the canvas's lower edge
sleep 3
at 430 600
xdotool click 5
sleep 0.3
xdotool mousedown 1
at 450 600
at 470 600
xdotool mouseup 1
sleep 0.5
import -window "$win" "$out/janela-grande.png"
