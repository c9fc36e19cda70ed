#!/usr/bin/env bash
# The restart question as a person meets it: the cleaner under 64-bit Wine on
# a virtual X display, its message box found by its caption, read, captured
# as a PNG and answered from the keyboard or with the mouse.
#
#   restart-prompt.sh [ANSWER...]    ANSWER: escape, cancel or enter (default: all three)
#
# Environment:
#   KORVEX_EXE            the win-x64 korvex-cleaner.exe (required)
#   KORVEX_BOX_READER     box_reader.exe from the same build (required)
#   KORVEX_WINE_TEMPLATE  a prefix made by make-template.sh (default: one is made, about 20 s)
#   KORVEX_SCREENSHOT     where the PNG of the box goes, kept after the run
#                         (default: restart-prompt.png in the current folder)
#   KORVEX_WINE_WORK      where the prefixes go (default: TMPDIR)
#   KORVEX_WINE_KEEP=1    keep the prefixes and outputs for a look afterwards
#
# Exit code 0 when every check passed, 1 when one failed, 2 when the scenario
# could not be set up, 77 when Xvfb, xdotool or ImageMagick is missing.
#
# Under Wine a restart request starts "wineboot.exe --end-session", which
# ends every program with a window; a marker (Wine's notepad) open beside the
# cleaner therefore tells whether one was made (tests/wine/README.md).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

exe=${KORVEX_EXE:?set KORVEX_EXE to the win-x64 korvex-cleaner.exe}
reader=${KORVEX_BOX_READER:?set KORVEX_BOX_READER to box_reader.exe from the win-x64 build}
template=${KORVEX_WINE_TEMPLATE:-}
[ -f "$exe" ] || die "no executable at $exe: build the win-x64 preset first"
[ -f "$reader" ] || die "no box reader at $reader: build the win-x64 preset first"
[ -z "$template" ] || [ -f "$template/system.reg" ] || die "no Wine prefix template at $template"
# Without them there is no display to show the box on: reported as skipped
# (exit code 77), not passed.
for tool in Xvfb xdotool import identify; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (packages xvfb, xdotool, imagemagick)"; exit 77; }
done

answers=("$@")
[ ${#answers[@]} -gt 0 ] || answers=(escape cancel enter)

caption="Korvex Cleaner"
question="Korvex for Windows was deleted. Do You want to restart PC now?"

work=$(make_work_dir restart-prompt)
screenshot=$(realpath -m "${KORVEX_SCREENSHOT:-restart-prompt.png}")
mkdir -p "$(dirname "$screenshot")"
xvfb=""
prefixes=()

cleanup() {
  local prefix
  for prefix in "${prefixes[@]}"; do wine_kill "$prefix"; done
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  remove_work_dir "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL [restart-prompt $answer] $*"; failures=$((failures + 1)); }

# A display of its own, on the first free number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
until_true 60 test -s "$work/display" || die "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"

# The machine has no window manager, so Wine draws the caption and frame
# itself, as a person sees them on Windows. Wine's dialog and symbol fonts
# are copied into the prefix: left only in Wine's data folder, they are not
# used for the box, whose close button then shows a letter "r" and whose
# first line of text is cut at the right edge.
display_template=$work/display-template
prefixes+=("$display_template")
if [ -n "$template" ]; then copy_prefix "$template" "$display_template"; else make_template "$display_template"; fi
for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
  [ ! -f "/usr/share/wine/fonts/$font" ] || cp "/usr/share/wine/fonts/$font" "$display_template/drive_c/windows/Fonts/"
done
wine_in "$display_template" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 ||
  die "reg add Decorated failed"
wine_stop "$display_template"

windows_named() { xdotool search --name "$1" 2>/dev/null || true; }
has_window() { [ -n "$(windows_named "$1")" ]; }
# painted WINDOW PNG: captures WINDOW; true once it shows a painted box.
painted() { import -window "$1" "$2" 2>/dev/null && [ "$(identify -format '%k' "$2" 2>/dev/null || echo 0)" -ge 16 ]; }
end_session_running() { prefix_processes "$1" | grep -q 'wineboot\.exe.*--end-session'; }

# The restart phase writes nothing: the console holds the report of a machine
# the product was never installed on, and only that.
crlf "$here/expected-parts/product-absent.txt" >"$work/expected-stdout.txt"

for answer in "${answers[@]}"; do
  case $answer in escape | cancel | enter) ;; *) die "unknown answer $answer" ;; esac
  run=$work/$answer
  prefix=$run-prefix
  mkdir -p "$run"
  answer_started=$SECONDS
  copy_prefix "$display_template" "$prefix"
  prefixes+=("$prefix")

  WINEPREFIX=$prefix timeout -k 10 "$KORVEX_WINE_TIMEOUT" wine notepad >/dev/null 2>&1 &
  marker=$!
  until_true "$KORVEX_WINE_TIMEOUT" has_window Notepad || die "$answer: the marker window did not open"

  (
    rc=0
    wine_in "$prefix" "$exe" >"$run/stdout.txt" 2>"$run/stderr.txt" || rc=$?
    echo "$rc" >"$run/exit-code"
  ) &
  cleaner=$!

  # Waits until the box is up (the whole cleaning run comes first), then
  # reads and checks its caption, owner, icon, text and buttons from its own
  # controls.
  box_rc=0
  wine_in "$prefix" "$reader" "$caption" "$question" $((KORVEX_WINE_TIMEOUT - 20)) >"$run/box.txt" 2>/dev/null || box_rc=$?
  echo "[restart-prompt $answer] the box as it appears:"
  tr -d '\r' <"$run/box.txt" | grep -v '^cancel at ' | sed 's/^/  /'
  # Once, that the check can fail: the same box read against another question.
  if [ "$box_rc" = 0 ] && [ "$answer" = "${answers[0]}" ]; then
    wrong_rc=0
    wine_in "$prefix" "$reader" "$caption" "$question?" 10 >/dev/null 2>&1 || wrong_rc=$?
    [ "$wrong_rc" = 3 ] || fail "box_reader.exe did not reject another question (exit code $wrong_rc)"
  fi
  case $box_rc in
    0) ;;
    3) fail "the box is not the expected question (see differs above)" ;;
    *) fail "box_reader.exe found no box (exit code $box_rc)"; wait "$cleaner" || true; continue ;;
  esac

  mapfile -t boxes < <(windows_named "^$caption\$")
  if [ ${#boxes[@]} -ne 1 ]; then
    fail "expected one window named \"$caption\", found ${#boxes[@]}"
    wait "$cleaner" || true
    continue
  fi
  box=${boxes[0]}

  # Captured once it shows more than a blank frame: text, icon and buttons
  # give it dozens of colours.
  until_true "$KORVEX_WINE_TIMEOUT" painted "$box" "$run/box.png" && cp "$run/box.png" "$screenshot" ||
    fail "no screenshot of the painted box"

  case $answer in
    escape) xdotool key --window "$box" Escape 2>/dev/null ;;
    enter) xdotool key --window "$box" Return 2>/dev/null ;;
    cancel)
      read -r _ _ x y < <(tr -d '\r' <"$run/box.txt" | grep '^cancel at ')
      [ -n "${x:-}" ] || die "cancel: no Cancel button to click"
      xdotool mousemove --sync "$x" "$y" click 1
      ;;
  esac

  until_true "$KORVEX_WINE_TIMEOUT" test -s "$run/exit-code" || fail "the cleaner did not end after the answer"
  marker_alive=no end_session=no
  kill -0 "$marker" 2>/dev/null && has_window Notepad && marker_alive=yes
  end_session_running "$prefix" && end_session=yes
  wait "$cleaner" || true

  rc=$(cat "$run/exit-code" 2>/dev/null || echo none)
  [ "$rc" = 0 ] || fail "exit code $rc, expected 0"
  [ ! -s "$run/stderr.txt" ] || fail "standard error is not empty: $(head -c 500 "$run/stderr.txt")"
  cmp -s "$work/expected-stdout.txt" "$run/stdout.txt" || {
    fail "standard output differs (expected | actual, \\r shown):"
    stdout_diff "$work/expected-stdout.txt" "$run/stdout.txt"
  }
  has_window "^$caption\$" && fail "the box is still open"

  if [ "$answer" = enter ]; then
    until_true "$KORVEX_WINE_TIMEOUT" bash -c "! kill -0 $marker 2>/dev/null" ||
      fail "OK did not end the session: the marker program is still running"
  else
    [ "$marker_alive" = yes ] || fail "the session ended: the marker program is gone"
    [ "$end_session" = no ] || fail "a restart was requested: wineboot --end-session runs"
  fi
  wine_kill "$prefix"
  echo "[restart-prompt $answer] done in $((SECONDS - answer_started)) s: exit code $rc"
done

if [ "$failures" -gt 0 ]; then
  echo "[restart-prompt] $failures check(s) failed"
  exit 1
fi
echo "[restart-prompt] passed; the box: $screenshot"
