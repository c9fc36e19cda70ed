# Shared by the Wine scenario runner, the template maker and the demo.
# Sourced, not run.

# No Mono/Gecko installer dialog, no Wine debug chatter on stderr, and no
# display: without one, the closing message box returns at once.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# With KORVEX_WINE_CHROOT set (the x86 scenarios), every wine, wineserver and
# wineboot call, the scenarios' scripts' included, runs the 32-bit Wine root's
# own (chroot/run-in-root); WINEARCH then says which prefix a template is
# (win32, or win64 for the 32-bit view under WoW64). Without it, the
# machine's Wine.
if [ -n "${KORVEX_WINE_CHROOT:-}" ]; then
  PATH=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/chroot/bin:$PATH
fi

# Every wine call is bounded, so a hung scenario fails instead of holding CTest.
# The bound is for a hang, not a speed check: the largest run (link-web's
# cleaner, 23 s alone) took over 120 s with six scenarios sharing two cores.
KORVEX_WINE_TIMEOUT=${KORVEX_WINE_TIMEOUT:-300}

# The five roots in the order the cleaner sweeps them, as reg.exe names them.
KORVEX_ROOTS="HKCR HKCC HKCU HKLM HKU"

die() { echo "error: $*" >&2; exit 2; }

# wine_in PREFIX COMMAND...: runs a Windows command in PREFIX, bounded.
wine_in() {
  local prefix=$1; shift
  WINEPREFIX=$prefix timeout -k 10 "$KORVEX_WINE_TIMEOUT" wine "$@"
}

# until_true SECONDS COMMAND...: polls every 0.2 s until COMMAND succeeds;
# false when time runs out.
until_true() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# prefix_processes PREFIX: "pid name" of every process running in PREFIX
# (the wineserver, Wine's own services and the programs), one a line.
prefix_processes() {
  local pid
  for pid in $(pgrep -d ' ' -f . || true); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$1" || continue
    echo "$pid $(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | cut -c1-80)"
  done
}

# wine_stop PREFIX [WHAT]: waits, bounded by KORVEX_WINE_TIMEOUT, until the
# prefix's session has ended: every program gone and the wineserver exited,
# which saves the registry. The next step (a copy of the prefix, an export, a
# fresh session for the next run) then starts from a settled state. When the
# bound is hit it names what still runs, ends it and fails.
wine_stop() {
  local prefix=$1 what=${2:-} still
  WINEPREFIX=$prefix timeout "$KORVEX_WINE_TIMEOUT" wineserver -w 2>/dev/null && return 0
  still=$(prefix_processes "$prefix" | sed 's/^/  /')
  wine_kill "$prefix"
  die "the Wine session in $prefix did not end within $KORVEX_WINE_TIMEOUT s${what:+ $what}; still running:
$still"
}

# end_run PREFIX [WHAT]: after a run of the cleaner, lets go of anything that
# holds the session for that run (hold_session.exe waits for the file
# C:\korvex-run-done) and waits, bounded, for the session to end (wine_stop).
end_run() {
  local done_file=$1/drive_c/korvex-run-done
  : >"$done_file"
  wine_stop "$@"
  rm -f "$done_file"
}

# wine_retry PREFIX WHAT COMMAND...: a harness step that may be made twice
# (an import, an export), run as wine_in runs it. In two CI runs such a step
# failed once, a few seconds into a session, while every other step passed
# (a seed's import, then the exports of an expected registry, whose failure the
# harness then kept silent); none failed in hundreds of runs elsewhere. So a
# failed step is reported on stderr with its exit code and what it said, the
# session is ended and the step made once more; a second failure stops the
# scenario with both reports and the free disk space.
wine_retry() {
  local prefix=$1 what=$2 said again rc
  shift 2
  said=$(wine_in "$prefix" "$@" 2>&1) && return 0 || rc=$?
  wine_stop "$prefix" "after a failed $what"
  again=$(wine_in "$prefix" "$@" 2>&1) ||
    die "$what failed twice: exit code $rc (${said:-it said nothing}), then $? (${again:-it said nothing});" \
      "free space where the prefix is: $(df -Ph "$prefix" | awk 'NR == 2 { print $4 }')"
  echo "note: $what failed once, exit code $rc (${said:-it said nothing}), and passed when made again" >&2
}

wine_kill() {
  [ -d "$1" ] || return 0
  WINEPREFIX=$1 wineserver -k 2>/dev/null || true
  WINEPREFIX=$1 timeout 30 wineserver -w 2>/dev/null || true
}

# make_work_dir NAME: a new directory NAME.XXXXXX, by absolute path (Wine
# wants absolute prefix paths), under KORVEX_WINE_WORK or TMPDIR.
make_work_dir() {
  local root=${KORVEX_WINE_WORK:-${TMPDIR:-/tmp}}
  mkdir -p "$root"
  mktemp -d "$(cd "$root" && pwd)/$1.XXXXXX"
}

# remove_work_dir DIR: removes it, unless KORVEX_WINE_KEEP=1 asks to keep it
# for a look afterwards.
remove_work_dir() {
  if [ "${KORVEX_WINE_KEEP:-0}" = 1 ]; then echo "kept: $1"; else rm -rf "$1"; fi
}

# crlf [FILE]: "\n" line ends as the console writes them in text mode, "\r\n".
crlf() { sed -z 's/\n/\r\n/g' "$@"; }

# stdout_diff EXPECTED ACTUAL: the two side by side, each "\r" shown so that
# a missing or extra carriage return is visible, then where they first differ.
stdout_diff() {
  local width
  width=$(cat "$1" "$2" | awk '{ if (length > n) n = length } END { print 2 * n + 12 }')
  diff --side-by-side --expand-tabs --width="$width" <(sed 's/\r$/\\r/' "$1") <(sed 's/\r$/\\r/' "$2") || true
  cmp "$1" "$2" || true
}

# make_template DIR: a fresh prefix from wineboot, made once and then copied.
make_template() {
  local dir=$1
  rm -rf "$dir" "$dir.partial"
  mkdir -p "$(dirname "$dir")"
  WINEPREFIX=$dir.partial timeout -k 10 600 wineboot -i >/dev/null 2>&1 || die "wineboot -i failed in $dir.partial"
  wine_stop "$dir.partial"
  mv "$dir.partial" "$dir"
}

# copy_prefix FROM TO: reflinked where the file system allows, a plain copy
# (about a second) elsewhere.
copy_prefix() {
  cp -a --reflink=auto "$1" "$2"
}

# reg_text FILE: a .reg file as UTF-8 text with "\n" line ends, whether it is
# stored as UTF-16 with a byte-order mark (as the shared fixtures are) or as
# UTF-8.
reg_text() {
  if [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = fffe ]; then
    iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r'
  else
    tr -d '\r' < "$1"
  fi
}

# import_reg PREFIX FILE...: reg import of each file in order; reg import
# also understands [-key] and "value"=- lines. Every file is handed over as
# UTF-16: reg import widens the hex(2) and hex(7) bytes of a file it reads as
# ANSI, so "UpperFilters" from an ANSI file would arrive with every character
# doubled. The copy goes to C:\ so that no path needs quoting (cmd.exe hands
# quotes on to reg.exe).
import_reg() {
  local prefix=$1 file
  shift
  for file in "$@"; do
    # A UTF-16 file goes over as it is: a name with a lone surrogate, which the
    # registry allows, has no UTF-8 form and would stop iconv half way.
    if [ "$(head -c 2 "$file" | od -An -tx1 | tr -d ' ')" = fffe ]; then
      cp "$file" "$prefix/drive_c/korvex-import.reg"
    else
      { printf '\xff\xfe'; sed 's/\r*$/\r/' "$file" | iconv -f UTF-8 -t UTF-16LE; } \
        > "$prefix/drive_c/korvex-import.reg" || die "$file is neither UTF-16 nor UTF-8"
    fi
    wine_retry "$prefix" "reg import of $file" reg import 'C:\korvex-import.reg'
    rm -f "$prefix/drive_c/korvex-import.reg"
  done
}

# save_hives PREFIX REG_FILE NAME FILE [NAME FILE]...: imports REG_FILE, whose
# keys lie below HKLM\Software\KorvexTestHive, saves each key NAME there as
# the hive file FILE (a Windows path, its folder made beforehand) in Wine's
# own format with programs/hive_file.exe (RegSaveKeyW), and deletes the keys
# again, so that the hives are files only.
save_hives() {
  local prefix=$1 reg=$2 programs
  shift 2
  programs=$(dirname "$KORVEX_EXE")/tests/wine/programs
  [ -f "$programs/hive_file.exe" ] || die "no hive_file.exe in $programs: build the win-x64 preset"
  import_reg "$prefix" "$reg"
  while [ $# -ge 2 ]; do
    wine_in "$prefix" "$programs/hive_file.exe" save HKLM "Software\\KorvexTestHive\\$1" "$2"
    shift 2
  done
  wine_retry "$prefix" "the hive keys' deletion" reg delete 'HKLM\Software\KorvexTestHive' /f
}

# missing_exports DRIVE_C: the roots whose export file is not there.
missing_exports() {
  local root
  for root in $KORVEX_ROOTS; do [ -f "$1/export-$root.reg" ] || printf '%s ' "$root"; done
}
exports_written() { [ -z "$(missing_exports "$1")" ]; }

# export_roots PREFIX OUTDIR: one UTF-8 text per root, with the volatile parts
# removed (see drop_volatile). One cmd.exe runs all exports: each extra wine
# start costs about a second.
export_roots() {
  local prefix=$1 out=$2 root commands=""
  local drive_c=$prefix/drive_c
  mkdir -p "$out"
  for root in $KORVEX_ROOTS; do
    rm -f "$drive_c/export-$root.reg"
    commands+="reg export $root C:\\export-$root.reg /y & "
  done
  wine_retry "$prefix" "reg export of $KORVEX_ROOTS" cmd /c "${commands% & }"
  # cmd answers for the last export alone: one in the middle once wrote no
  # file in a soak while cmd exited 0. Such a chain is made once more, whole.
  if ! exports_written "$drive_c"; then
    wine_stop "$prefix" "after an export that wrote no file"
    wine_retry "$prefix" "reg export of $KORVEX_ROOTS" cmd /c "${commands% & }"
    exports_written "$drive_c" || die "reg export gave no file for $(missing_exports "$drive_c"), twice"
    echo "note: reg export wrote no file once, and every file when made again" >&2
  fi
  for root in $KORVEX_ROOTS; do
    iconv -f UTF-16 -t UTF-8 "$drive_c/export-$root.reg" | tr -d '\r' | drop_volatile > "$out/$root.txt"
    rm -f "$drive_c/export-$root.reg"
  done
}

# Wine rewrites these on every start, whatever the program run: each start
# without a display adds a Control\Video\{random GUID} key with a DriverError
# value and stamps the display adapter's class key with today's DriverDate and
# DriverDateData; each start of services.exe counts up the default value of
# Control\ServiceCurrent, a volatile key that a session in which services.exe
# has not yet started lacks altogether. Others are volatile keys that describe the running
# session rather than the stored registry, written by the session's device
# host as it starts its drivers, which a session just begun for an export may
# not have finished: HKLM\Hardware, System\MountedDevices, the NetworkCards
# list and a device interface's Control key ("Linked"). Likewise the keys a
# session's display driver writes as it first draws (which the message box at
# the end of a run may start): the Control\Video key itself, the display
# settings under the current hardware profile's System key, the device
# interfaces' "#" keys with their SymbolicLink values, user32's Temporary
# System Parameters, and the display adapters' and monitors' device class
# keys, which the display driver rewrites: once, after a run of
# never-installed that reported no deletion, both had lost their
# descriptions. And the WineDbg key is written by Wine's
# crash handler when any program of the session crashed (a crash of the
# cleaner shows in its exit code and its output). Nothing else changes by
# itself.
drop_volatile() {
  awk '
    /^\[/ { skip = ($0 ~ /\\Control\\Video(\]$|\\)/ || $0 ~ /\\Control\\DeviceClasses\\.*\\#(\]$|\\)/ ||
                   $0 ~ /\\Software\\Wine\\(WineDbg|Temporary System Parameters)(\]$|\\)/ ||
                   $0 ~ /^\[HKEY_CURRENT_CONFIG\\System(\]$|\\)/ ||
                   $0 ~ /\\Hardware Profiles\\Current\\System(\]$|\\)/ ||
                   tolower($0) ~ /^\[hkey_local_machine\\(hardware|system\\mounteddevices)(\]$|\\)/ ||
                   tolower($0) ~ /\\control\\class\\[{]4d36e96[8e]-e325-11ce-bfc1-08002be10318[}](\]$|\\)/ ||
                   $0 ~ /\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards(\]$|\\)/ ||
                   $0 ~ /\\Control\\ServiceCurrent\]$/) }
    /^"DriverDate(Data)?"=/ { next }
    !skip
  '
}
