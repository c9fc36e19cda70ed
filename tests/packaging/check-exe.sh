#!/usr/bin/env bash
# Checks a shipped executable as Windows will load it:
#   check-exe.sh EXE machine [i386|amd64]     (default i386)
#   check-exe.sh EXE subsystem|imports|manifest
#   check-exe.sh EXE version [A.B.C.D]        (FileVersion and ProductVersion, when given)
# Uses the MinGW binutils' objdump and windres (which decodes the resources of
# a PE file read as COFF).
set -euo pipefail

exe=${1:?usage: check-exe.sh EXE CHECK}
check=${2:?usage: check-exe.sh EXE CHECK}
expected=${3:-}
[ -f "$exe" ] || { echo "no executable at $exe: build the win-x86 preset first"; exit 1; }

fail() { echo "FAIL: $*"; exit 1; }

# The 16-bit little-endian number at a byte offset of the file.
u16_at() { od -An -t u2 -j "$1" -N 2 --endian=little "$exe" | tr -d ' '; }
u32_at() { od -An -t u4 -j "$1" -N 4 --endian=little "$exe" | tr -d ' '; }

# Each MinGW binutils reads only its own machine's PE files.
if [ "$(u16_at $(($(u32_at 60) + 4)) 2>/dev/null)" = 34404 ]; then
  tools=x86_64-w64-mingw32
else
  tools=i686-w64-mingw32
fi
objdump=${OBJDUMP:-$tools-objdump}
windres=${WINDRES:-$tools-windres}

case $check in
  machine)
    # IMAGE_FILE_HEADER.Machine right after the "PE\0\0" signature.
    pe=$(u32_at 60)
    [ "$(od -An -c -j "$pe" -N 4 "$exe" | tr -d ' ')" = 'PE\0\0' ] || fail "no PE signature at offset $pe"
    machine=$(u16_at $((pe + 4)))
    case ${expected:-i386} in
      i386) want=332 ;;    # 0x14C
      amd64) want=34404 ;; # 0x8664
      *) echo "unknown machine: $expected"; exit 2 ;;
    esac
    [ "$machine" = "$want" ] ||
      fail "machine is $(printf '0x%X' "$machine"), expected $(printf '0x%X' "$want") (${expected:-i386})"
    echo "machine: ${expected:-i386} ($(printf '0x%X' "$machine"))"
    ;;
  subsystem)
    line=$("$objdump" -p "$exe" | grep -E '^Subsystem[[:space:]]') || fail "objdump shows no subsystem"
    [[ $line =~ \(Windows\ CUI\) ]] || fail "subsystem is not the console: $line"
    echo "$line"
    ;;
  imports)
    # Everything the loader must find has to ship with Windows itself; the
    # MinGW runtime DLLs (libstdc++, libgcc, libwinpthread) must be linked in.
    dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [ -n "$dlls" ] || fail "objdump shows no import table"
    echo "imports:" $dlls
    bad=""
    for dll in $dlls; do
      case ${dll,,} in
        kernel32.dll|advapi32.dll|user32.dll|msvcrt.dll|ntdll.dll|api-ms-win-*.dll) ;;
        *) bad+=" $dll" ;;
      esac
    done
    [ -z "$bad" ] || fail "imports DLLs that are not part of Windows:$bad"
    ;;
  manifest)
    resources=$("$windres" --input-format=coff -i "$exe" -O rc) || fail "windres cannot read the resources"
    manifest=$(printf '%s\n' "$resources" | awk '/^1 24 /, /^END/')
    [ -n "$manifest" ] || fail "no manifest resource (type 24, id 1)"
    level=$(printf '%s\n' "$manifest" | grep -o '<requestedExecutionLevel[^>]*>' | sed 's/""/"/g') ||
      fail "the manifest requests no execution level"
    [[ $level =~ level=\"requireAdministrator\" ]] || fail "execution level is not requireAdministrator: $level"
    [[ $level =~ uiAccess=\"false\" ]] || fail "uiAccess is not false: $level"
    echo "manifest: $level"
    ;;
  version)
    resources=$("$windres" --input-format=coff -i "$exe" -O rc) || fail "windres cannot read the resources"
    printf '%s\n' "$resources" | grep -q '^1 VERSIONINFO' || fail "no version resource"
    for field in FileVersion ProductName ProductVersion; do
      printf '%s\n' "$resources" | grep -q "VALUE \"$field\", \"..*\"" || fail "the version resource has no $field"
    done
    if [ -n "$expected" ]; then
      for field in FileVersion ProductVersion; do
        printf '%s\n' "$resources" | grep -qF "VALUE \"$field\", \"$expected\"" ||
          fail "the version resource's $field is not $expected"
      done
      # The binary FILEVERSION and PRODUCTVERSION, which Explorer shows.
      for field in FILEVERSION PRODUCTVERSION; do
        printf '%s\n' "$resources" | grep -qx "[[:space:]]*$field ${expected//./, }" ||
          fail "$field is not ${expected//./,}: $(printf '%s\n' "$resources" | grep "^[[:space:]]*$field")"
      done
    fi
    printf '%s\n' "$resources" | grep -E 'VALUE "(ProductName|FileVersion)"'
    ;;
  *)
    echo "unknown check: $check"; exit 2 ;;
esac
