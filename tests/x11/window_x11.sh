#!/usr/bin/env bash
# window_x11.sh PORTMILL WORKDIR — run inside an X server (xvfb-run).
# Starts the window on the simulated machine with its records and drives it
# with xdotool only; decides from the trace of port accesses and the list.
set -euo pipefail
bin=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
# Each run starts from the program's defaults (in the test's own folder).
if [ -n "${XDG_CONFIG_HOME:-}" ]; then rm -rf "$XDG_CONFIG_HOME/portmill"; fi
trace=$work/run.trace
list=$work/run.list
dots=$work/run.dots

fail() {
  echo "FAIL: $*" >&2
  echo "--- control register writes in the trace:" >&2
  grep ' W 890 ' "$trace" | awk '{printf "%s ", $4}' >&2 || true
  echo >&2
  if command -v import >/dev/null; then
    import -window root "$work/failed.png" 2>/dev/null && echo "screen: $work/failed.png" >&2
  fi
  exit 1
}

# A window manager gives focus as a desktop does; the test runs without
# one too.
if command -v openbox >/dev/null; then
  openbox --sm-disable >/dev/null 2>&1 &
  sleep 0.5
fi

"$bin" --port sim --trace "$trace" --list "$list" --dots "$dots" >"$work/out.txt" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

win=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" | head -1) ||
  fail "the window did not show"
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
sleep 0.3

# The title is empty until a file is chosen.
names=$(xprop -id "$win" _NET_WM_NAME WM_NAME)
grep -q '^_NET_WM_NAME.*= "' <<<"$names" && fail "the title at start-up: $names"
grep -q '^WM_NAME(STRING) = $' <<<"$names" || fail "the title at start-up: $names"
echo "ok: the title is empty at start-up"

# The client area: a menu bar, the 792 x 536 controls, a status bar of two
# rows twice the menu bar's height.
geometry=$(xwininfo -id "$win")
wx=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
wy=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
wh=$(awk '/Height:/ {print $2}' <<<"$geometry")
menu=$(((wh - 536) / 3))

# A click at (x, y) pixels of the controls' area, or of the menu bar.
click() { xdotool mousemove --sync $((wx + $1)) $((wy + menu + $2)) click 1; }
click_menu() { xdotool mousemove --sync $((wx + $1)) $((wy + menu / 2)) click 1; }
# "Abrir", then the file's name typed into the dialog and Return.
open_file() {
  click_menu "$abrir"
  timeout 10 xdotool search --sync --onlyvisible --name 'Abrir|Open|Arquivo|Selecionar' >/dev/null ||
    fail "the open dialog did not show for $1"
  sleep 0.3
  xdotool type --delay 5 "$1"
  xdotool key Return
}

# Centres of the controls, from their places in the window (twips / 15).
command8=(760 448)  # Z up
command9=(760 504)  # Z down
command1=(64 424)   # Fresar
cancel=(60 198)     # Cancelar
abrir=22            # menu items, from the left of the bar
sair=62

# The values written to one register since the trace had `from` lines.
writes() { tail -n +"$(($2 + 1))" "$trace" | awk -v a="$1" '$2 == "W" && $3 == a {printf "%s ", $4}'; }
lines() { wc -l <"$trace"; }
# The program ends within 5 s of what $1 names, with status 0.
expect_ended() {
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then fail "$1 did not end the program"; fi
  local status=0
  wait "$pid" || status=$?
  trap - EXIT
  [ "$status" -eq 0 ] || fail "the program ended with status $status"
}
# Waits until the control register's writes since `from` are `want`, then a
# little longer, so that a write too many shows as well.
expect_z() {
  local from=$1 want=$2 what=$3 got=""
  for _ in $(seq 1 50); do
    got=$(writes 890 "$from")
    [ "$got" = "$want" ] && break
    sleep 0.1
  done
  sleep 0.4
  got=$(writes 890 "$from")
  [ "$got" = "$want" ] || fail "$what: control register got '$got', want '$want'"
  echo "ok: $what"
}

up="10 9 15 3 "
down="3 15 9 10 "

# A click on the Z-up button: one cycle; the click gives it the focus.
mark=$(lines)
click "${command8[@]}"
expect_z "$mark" "$up" "mouse click on Z up"

# A key tapped on the focused button: one cycle, then 11 at the release.
mark=$(lines)
xdotool key --delay 50 a
expect_z "$mark" "${up}11 " "key tap on Z up"

# The same key again: the focus stayed on the button.
mark=$(lines)
xdotool key --delay 50 b
expect_z "$mark" "${up}11 " "second key tap, focus kept"

# A key held down: one cycle per auto-repeated press, 11 only at the end.
mark=$(lines)
xdotool keydown a
sleep 1.5
xdotool keyup a
sleep 0.5
held=$(writes 890 "$mark")
cycles=$(grep -o "$up" <<<"$held" | wc -l)
[ "$cycles" -ge 3 ] || fail "held key: $cycles cycles ('$held'), want one per auto-repeat"
pattern=""
for _ in $(seq 1 "$cycles"); do pattern+=$up; done
[ "$held" = "${pattern}11 " ] || fail "held key: got '$held', want $cycles cycles then one 11"
echo "ok: held key, $cycles cycles and one release"

# The space bar: a cycle for the press, 11 at the release, then the
# button's click.
mark=$(lines)
xdotool key --delay 50 space
expect_z "$mark" "${up}11 ${up}" "space bar on Z up"

# The Z-down button by the mouse, then Tab to Z up and a key there.
mark=$(lines)
click "${command9[@]}"
expect_z "$mark" "${down}11 " "mouse click on Z down"
[ "$(writes 888 "$mark")" = "0 " ] || fail "Z down click: data register got '$(writes 888 "$mark")', want '0'"
# Tab moves the focus on its press; its release reaches Z up, which switches
# the Z coils off as any key's release does.
mark=$(lines)
xdotool key --delay 50 Tab
xdotool key --delay 50 c
expect_z "$mark" "11 ${up}11 " "Tab from Z down to Z up, then a key"

# An SVG opened is converted; "Abrir recente" lists the SVG itself, first
# (the menu's items are the settings' list).
svg=$work/casa.svg
echo "<svg xmlns='http://www.w3.org/2000/svg' width='10mm' height='10mm' viewBox='0 0 10 10'><line x1='0' y1='0' x2='10' y2='10' stroke='black'/></svg>" >"$svg"
open_file "$svg"
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^portmill$' | head -1) ||
  fail "no message at the end of the SVG's conversion"
xdotool windowactivate --sync "$box" 2>/dev/null || true
xdotool key Return
recent=$(awk -F= '/^\[janela\]/ {p = 1; next} /^\[/ {p = 0} p && $1 == "recentes" {print $2}' \
  "${XDG_CONFIG_HOME:-$HOME/.config}/portmill/portmill.conf")
[[ $recent == "$svg"* ]] || fail "Abrir recente lists '$recent', want $svg first"
echo "ok: Abrir recente lists the SVG just opened"

# A dry run of a drawing chosen with "Abrir", ended by "Cancelar".
drawing=$work/long.red
{
  echo "PU;PA0,0;PD;"
  for _ in $(seq 1 200); do echo "PA4000,0;PA4000,4000;PA0,4000;PA0,0;"; done
  echo "PU;"
} >"$drawing"
open_file "$drawing"
for _ in $(seq 1 50); do
  title=$(xprop -id "$win" _NET_WM_NAME 2>/dev/null || true)
  [[ $title == *"$drawing"* ]] && break
  sleep 0.1
done
[[ $title == *"$drawing"* ]] || fail "after Abrir the title is '$title', want the file's path"
echo "ok: Abrir puts the path in the title"
sleep 0.3
click "${command1[@]}"
entries=0
for _ in $(seq 1 100); do
  entries=$(wc -l <"$list")
  [ "$entries" -ge 4 ] && break
  sleep 0.1
done
[ "$entries" -ge 4 ] || fail "the dry run did not fill the list: $entries entries"
[ "$(head -1 "$list")" = "PU;" ] || fail "the list begins with '$(head -1 "$list")', want 'PU;'"
echo "ok: the dry run lists the statements ($entries so far)"
click "${cancel[@]}"
# "Cancelar" clears the list; the job draws nothing more.
for _ in $(seq 1 50); do
  [ ! -s "$list" ] && break
  sleep 0.1
done
[ ! -s "$list" ] || fail "Cancelar left the list at $(wc -l <"$list") entries"
sleep 0.3
drawn=$(wc -l <"$dots")
sleep 0.5
[ "$(wc -l <"$dots")" -eq "$drawn" ] || fail "the job went on drawing after Cancelar"
[ "$drawn" -gt 0 ] || fail "the dry run drew no dot"
kill -0 "$pid" || fail "the window ended during the job"
echo "ok: Cancelar ended the dry run after $drawn dots"

# A slow drawing opened during a job: the conversion runs apart, and
# "Cancelar" still stops the job at once. The job mills (motors on), so the
# trace shows each of its steps; the drawing takes seconds to convert.
check1=(21 256)     # Ativar Motores
click "${check1[@]}"
sleep 0.3
slow=$work/lento.plt
{
  printf 'IN;PU0,0;'
  for _ in $(seq 1 12000); do printf 'CI900,0.5;'; done
} >"$slow"
click "${command1[@]}"
# The job mills: the data register takes its steps.
for _ in $(seq 1 100); do
  [ "$(writes 888 0 | wc -w)" -ge 20 ] && break
  sleep 0.1
done
[ "$(writes 888 0 | wc -w)" -ge 20 ] || fail "the job did not mill"
open_file "$slow"
timeout 10 xdotool search --sync --onlyvisible --name 'Convertendo' >/dev/null ||
  fail "the conversion showed no progress"
echo "ok: the conversion shows its progress"
# The window's thread is free: the trace still grows (the 100 ms poll and
# the job). The click lands just after a fresh line is seen.
size=$(stat -c %s "$trace")
for _ in $(seq 1 100); do
  [ "$(stat -c %s "$trace")" != "$size" ] && break
  sleep 0.02
done
[ "$(stat -c %s "$trace")" != "$size" ] || fail "the trace stood still during the conversion"
before=$(tail -n 1 "$trace" | awk '{print $1}')
click "${cancel[@]}"
sleep 1
last=$(awk '$2 == "W" {t = $1} END {print t}' "$trace")
late=$(( (last - before) / 1000000 ))
[ "$late" -le 200 ] || fail "the job wrote to the port ${late} ms after Cancelar"
xdotool search --onlyvisible --name 'Convertendo' >/dev/null ||
  fail "the conversion ended with the job"
kill -0 "$pid" || fail "the window ended"
echo "ok: Cancelar stopped the job within ${late} ms while the drawing was converted"
# The conversion ends on its own and says so; its plot file is chosen.
for _ in $(seq 1 600); do
  xdotool search --onlyvisible --name 'Convertendo' >/dev/null || break
  sleep 0.1
done
box=$(timeout 60 xdotool search --sync --onlyvisible --name '^portmill$' | head -1) ||
  fail "no message at the end of the conversion"
xdotool windowactivate --sync "$box" 2>/dev/null || true
xdotool key Return
for _ in $(seq 1 50); do
  title=$(xprop -id "$win" _NET_WM_NAME 2>/dev/null || true)
  [[ $title == *"$work/lento.red"* ]] && break
  sleep 0.1
done
[[ $title == *"$work/lento.red"* ]] || fail "after the conversion the title is '$title'"
echo "ok: the converted drawing is the chosen file"

# The safety questions: "Fresar" with the tool at the top, closing the
# window mid-job, and the stopping point kept across a restart.
command3=(516 490)  # Home Z
text3=(94 514)      # Dividir cordenadas por:
trabalho=220        # the menu "Trabalho"
comecar_da=(284 74) # its item "Começar da declaração…", from the window's top

# A dialog of the program's own (its title is the program's name) shows.
wait_question() {
  timeout 10 xdotool search --sync --onlyvisible --name '^portmill$' | head -1 ||
    fail "$1: the question did not show"
}
# Takes the first button of the question up: the last one has the focus.
take_first_button() {
  xdotool key --delay 80 Tab space
}
conf=${XDG_CONFIG_HOME:-$HOME/.config}/portmill/portmill.conf
kept() { awk -F= '/^\[parada\]/ {p = 1; next} /^\[/ {p = 0} p && $1 == "declaracao" {print $2}' "$conf" 2>/dev/null; }

# A drawing of many short statements along X: statement k + 2 ends at X k
# (divisor 1), so where a job starts again tells its statement.
line=$work/line.red
{
  printf 'PU;PD;'
  for k in $(seq 1 3000); do printf 'PA%d,0;' "$k"; done
} >"$line"

# With "Ativar Motores" ticked (it still is) and the tool at the top after
# Home Z, "Fresar" asks first; "Cancelar" starts nothing.
mark=$(lines)
click "${command3[@]}"
for _ in $(seq 1 100); do
  got=$(writes 890 "$mark")
  [ -n "$got" ] && [ "$(lines)" = "$(sleep 0.3; lines)" ] && break
  sleep 0.1
done
[[ $(writes 890 "$mark") == *"${up}" ]] || fail "Home Z: control register got '$(writes 890 "$mark")'"
sleep 0.3
xdotool mousemove --sync $((wx + text3[0])) $((wy + menu + text3[1])) click --repeat 3 1
xdotool key ctrl+a
xdotool type --delay 5 "1"
open_file "$line"
sleep 0.8
mark=$(lines)
click "${command1[@]}"
wait_question "Fresar at the top" >/dev/null
sleep 0.3
xdotool key Escape
sleep 0.8
[ -z "$(writes 888 "$mark")" ] || fail "Cancelar at the question: the job wrote '$(writes 888 "$mark" | head -c 80)'"
echo "ok: Fresar with the tool at the top asks, and Cancelar starts nothing"

# "Fresar assim mesmo" mills in the air.
click "${command1[@]}"
wait_question "Fresar at the top" >/dev/null
sleep 0.3
take_first_button
for _ in $(seq 1 100); do
  [ "$(wc -l <"$list")" -ge 20 ] && break
  sleep 0.1
done
[ "$(wc -l <"$list")" -ge 20 ] || fail "Fresar assim mesmo: the job did not run"
[ -n "$(writes 888 "$mark")" ] || fail "Fresar assim mesmo: nothing written to the motors"
echo "ok: Fresar assim mesmo runs the job"

# Closing the window mid-job asks "Parar e sair?"; taking it stops the job,
# keeps its stopping point and switches every coil off.
if command -v openbox >/dev/null; then
  xdotool windowactivate --sync "$win" 2>/dev/null || true
  xdotool key alt+F4
else
  click_menu "$sair"
fi
wait_question "closing mid-job" >/dev/null
sleep 0.3
take_first_button
expect_ended "Parar e sair"
[ "$(tail -n 2 "$trace" | awk '{printf "%s %s ", $3, $4}')" = "888 0 890 11 " ] ||
  fail "closing mid-job: the trace ends with '$(tail -n 2 "$trace" | tr '\n' ' ')', want every coil off"
n=$(kept)
[ -n "$n" ] && [ "$n" -ge 10 ] || fail "closing mid-job kept the stopping point '$n'"
echo "ok: closing the window mid-job asks, stops at statement $n, switches the coils off"

# Started again with the same settings, "Começar da declaração…" proposes the
# kept point: accepted as proposed, the job travels from its origin to where
# statement n starts (X n - 3) and goes on from there.
trace=$work/again.trace
list=$work/again.list
dots=$work/again.dots
status=$work/again.status
"$bin" --port sim --trace "$trace" --list "$list" --dots "$dots" --status "$status" >"$work/out2.txt" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
win=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" | head -1) ||
  fail "the window did not show again"
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
sleep 0.3
geometry=$(xwininfo -id "$win")
wx=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
wy=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
open_file "$line"
sleep 0.8
click_menu "$trabalho"
sleep 0.4
xdotool mousemove --sync $((wx + comecar_da[0])) $((wy + comecar_da[1])) click 1
timeout 10 xdotool search --sync --onlyvisible --name 'declara' >/dev/null ||
  fail "the statement dialog did not show"
sleep 0.3
xdotool key Return
# After a restart the program does not know where the job's origin is, and
# says so; "Começar daqui".
wait_question "starting from a statement" >/dev/null
sleep 0.3
take_first_button
first_blue=""
for _ in $(seq 1 100); do
  first_blue=$(awk '$3 == 16711680 {print NR; exit}' "$dots" 2>/dev/null)
  [ -n "$first_blue" ] && break
  sleep 0.1
done
[ -n "$first_blue" ] || fail "the job started again drew no cut"
# The travel's last dot, at scale 5: X (n - 3) / 5 twips.
travel_end=$(awk -v b="$first_blue" 'NR == b - 1 {print $1 * 5}' "$dots")
[ "$(awk -v t="$travel_end" -v n="$n" 'BEGIN {print (t > n - 4.5 && t < n - 1.5) ? 1 : 0}')" = 1 ] ||
  fail "the job started again at X $travel_end, want the kept statement $n (X $((n - 3)))"
echo "ok: after a restart the kept statement $n is proposed and the job goes on from there"

click "${cancel[@]}"
sleep 0.8

# The XY jog, motors off: a click on the right arrow moves X by one step of
# the chosen size (10 half-steps): the pattern the motors hold, ten, then
# the coils off.
right=(704 480)
left=(608 480)
zerar=(708 510)
mark=$(lines)
click "${right[@]}"
sleep 0.5
got=$(writes 888 "$mark" | wc -w)
[ "$got" -eq 12 ] || fail "a click on the right arrow wrote $got patterns, want 12: $(writes 888 "$mark")"
[ -z "$(writes 890 "$mark")" ] || fail "the XY jog with the motors off moved Z"
echo "ok: a click on the right arrow moves X by one step"
# The right arrow key held on the focused arrow: on past the step until the release.
mark=$(lines)
xdotool keydown Right
sleep 1.2
xdotool keyup Right
sleep 0.3
held=$(writes 888 "$mark" | wc -w)
sleep 0.5
[ "$held" -ge 20 ] || fail "the held arrow key moved only $held half-steps"
[ "$(writes 888 "$mark" | wc -w)" -eq "$held" ] || fail "the held arrow key went on after its release"
echo "ok: the held arrow key moves $held half-steps and stops at the release"
# "Zerar XY aqui", then one step left: "Fresar" travels back to that origin
# (X 10 / scale 5 = 2 twips) and draws from there.
click "${zerar[@]}"
sleep 0.3
click "${left[@]}"
sleep 0.5
from=$(wc -l <"$dots")
click "${command1[@]}"
first_blue=""
for _ in $(seq 1 100); do
  first_blue=$(tail -n +"$((from + 1))" "$dots" | awk '$3 == 16711680 {print $1; exit}')
  [ -n "$first_blue" ] && break
  sleep 0.1
done
first=$(tail -n +"$((from + 1))" "$dots" | head -1)
[ "$first" = "-2 5700 65280" ] || fail "after Zerar XY aqui the job's first dot is '$first', want the tool's place X -2"
[ "$first_blue" = 0 ] || fail "after Zerar XY aqui the drawing starts at X '$first_blue', want 0"
echo "ok: Zerar XY aqui, then Fresar draws from the new origin"

# Cancelled, nothing runs.
click "${cancel[@]}"
sleep 0.8

# The status record: the estimate that arrived after the divisor last
# changed, once nothing newer is on its way.
settled_estimate() {
  local got=""
  for _ in $(seq 1 100); do
    got=$(awk -F'\t' '$1 == "divisorStatus" {d = NR} $1 == "estimateStatus" {e = NR; t = $2}
                      END {if (e > d && t ~ /^Dura/) print t}' "$status")
    [ -n "$got" ] && break
    sleep 0.1
  done
  [ -n "$got" ] || fail "no estimate in the status record after $1"
  echo "$got"
}
# "0,5" in "Dividir cordenadas por:" draws as "0.5" does.
set_divisor() {
  xdotool mousemove --sync $((wx + text3[0])) $((wy + menu + text3[1])) click --repeat 3 1
  xdotool key ctrl+a
  xdotool type --delay 5 "$1"
  for _ in $(seq 1 50); do
    [ "$(awk -F'\t' '$1 == "divisorStatus" {t = $2} END {print t}' "$status")" = "Divisor: 0,5" ] && break
    sleep 0.1
  done
}
set_divisor "0.5"
point=$(settled_estimate "0.5")
set_divisor "0,5"
comma=$(settled_estimate "0,5")
[ "${point#* · }" = "${comma#* · }" ] || fail "the extent at 0,5 is '$comma', at 0.5 '$point'"
[[ $comma == *" mm" ]] || fail "the extent is not in mm: '$comma'"
echo "ok: \"0,5\" gives the extent of \"0.5\": ${comma#* · }"

# An acceleration set in "Máquina…" changes the estimate.
maquina=(252 98)  # the item "Máquina…" of "Trabalho", from the window's top
mark=$(wc -l <"$status")
click_menu "$trabalho"
sleep 0.4
xdotool mousemove --sync $((wx + maquina[0])) $((wy + maquina[1])) click 1
timeout 10 xdotool search --sync --onlyvisible --name '^Máquina$' >/dev/null || fail "Máquina did not show"
sleep 0.3
# The eighth box from the first: "Aceleração".
xdotool key --delay 30 Tab Tab Tab Tab Tab Tab Tab ctrl+a
xdotool type --delay 5 "100"
xdotool key Return
ramped=""
for _ in $(seq 1 100); do
  ramped=$(tail -n +"$((mark + 1))" "$status" | awk -F'\t' '$1 == "estimateStatus" && $2 ~ /^Dura/ {print $2; exit}')
  [ -n "$ramped" ] && break
  sleep 0.1
done
[ -n "$ramped" ] || fail "no new estimate after the acceleration was set"
[ "${ramped%% · *}" != "${comma%% · *}" ] || fail "the acceleration left the estimate at '${ramped%% · *}'"
echo "ok: an acceleration in Máquina changes the estimate: '${comma%% · *}' to '${ramped%% · *}'"

# "Sair" ends the program at once.
click_menu "$sair"
expect_ended "Sair"
echo "ok: Sair ended the program"
