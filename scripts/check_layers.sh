#!/usr/bin/env bash
# Keeps the layers of the program's own folders: reads every #include of
# their sources and fails on any that points the wrong way.
#
#   port/  <-  motion/  <-  job/, jog/, homing/  <-  cli/, app/
#
# files/ (reading and writing the user's files safely) knows nothing of the
# machine and anyone may use it.
# job/, jog/ and homing/ stand side by side: none includes another.
# importer/ turns text into text and includes nothing of the machine; a
# toolkit-bound importer library (importer_<name>/) may add Qt to it.
# Qt headers appear only in app/ and in such a library.
# The machine's folders and those below them speak in the machine's terms:
# no name of the window's widgets or handlers (Check1, Slider1, Text(n),
# PSet, DoEvents, Command1_Click, Timer1_Timer, ...) appears in them, in
# code or in comments; those live in app/.
#
#   scripts/check_layers.sh [ROOT]   (ROOT defaults to the source tree)
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"

# The folders each folder may include besides itself (shell patterns).
may_include() {
  case "$1" in
    files) echo "" ;;
    port | importer) echo "files" ;;
    motion) echo "port files" ;;
    job | jog | homing) echo "motion port files" ;;
    importer_*) echo "importer files" ;;
    cli) echo "job jog homing motion port importer importer_* files" ;;
    app) echo "job jog homing motion port importer importer_* files" ;;
  esac
}
may_use_qt() {
  case "$1" in
    app | importer_*) return 0 ;;
    *) return 1 ;;
  esac
}

folders=()
for d in files port motion job jog homing importer importer_* cli app; do
  [ -d "$d" ] && folders+=("$d")
done

bad=0
while IFS= read -r hit; do
  file="${hit%%:*}"
  rest="${hit#*:}"
  line="${rest%%:*}"
  text="${rest#*:}"
  folder="${file%%/*}"
  if [[ "$text" =~ \#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
    target="${BASH_REMATCH[1]}"
    [[ "$target" == */* ]] || continue  # beside the file itself
    to="${target%%/*}"
    [ "$to" = "$folder" ] && continue
    ok=0
    for pattern in $(may_include "$folder"); do
      # shellcheck disable=SC2053  # the pattern is meant to match
      [[ "$to" == $pattern ]] && ok=1
    done
    if [ "$ok" -eq 0 ]; then
      echo "$file:$line: $folder/ may not include \"$target\" (it may include: $(may_include "$folder" | sed 's/^$/nothing of the others/'))"
      bad=1
    fi
  elif [[ "$text" =~ \#[[:space:]]*include[[:space:]]*\<(Q[^>]*)\> ]]; then
    if ! may_use_qt "$folder"; then
      echo "$file:$line: $folder/ may not include the toolkit's <${BASH_REMATCH[1]}>"
      bad=1
    fi
  fi
done < <(grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' \
           '^[[:space:]]*#[[:space:]]*include' "${folders[@]}" | sed -E 's#^\./##')

# The window's words, each as a name of its own (FileErrorText( is not Text().
widget_words='\<(Check1|Slider1|Slider2|Text\(|SetText|LampVisible|PSet|ListAdd|DoEvents|Command[0-9]+_|Timer1_)'
core=()
for d in port motion job jog homing importer files; do
  [ -d "$d" ] && core+=("$d")
done
if [ "${#core[@]}" -gt 0 ]; then
  while IFS= read -r hit; do
    file="${hit%%:*}"
    rest="${hit#*:}"
    echo "$file:${rest%%:*}: a name of the window's controls in the machine's code (say what it is to the machine):${rest#*:}"
    bad=1
  done < <(grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' "$widget_words" "${core[@]}" |
             sed -E 's#^\./##')
fi

if [ "$bad" -ne 0 ]; then
  echo "layers: includes against the layers, or the window's words in the core (see docs/architecture.md)"
  exit 1
fi
echo "layers: clean"
