#!/usr/bin/env bash
# Checks the shipped executable as Windows will load it:
#   check-exe.sh EXE machine|subsystem|imports|manifest|version
# Uses the MinGW binutils' objdump and windres (which decodes the resources of
# a PE file read as COFF).
set -euo pipefail

exe=${1:?usage: check-exe.sh EXE CHECK}
check=${2:?usage: check-exe.sh EXE CHECK}
[ -f "$exe" ] || { echo "no executable at $exe: build the win-x86 preset first"; exit 1; }
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
windres=${WINDRES:-i686-w64-mingw32-windres}

fail() { echo "FAIL: $*"; exit 1; }

# The 16-bit little-endian number at a byte offset of the file.
u16_at() { od -An -t u2 -j "$1" -N 2 --endian=little "$exe" | tr -d ' '; }
u32_at() { od -An -t u4 -j "$1" -N 4 --endian=little "$exe" | tr -d ' '; }

case $check in
  machine)
    # IMAGE_FILE_HEADER.Machine right after the "PE\0\0" signature.
    pe=$(u32_at 60)
    [ "$(od -An -c -j "$pe" -N 4 "$exe" | tr -d ' ')" = 'PE\0\0' ] || fail "no PE signature at offset $pe"
    machine=$(u16_at $((pe + 4)))
    [ "$machine" = 332 ] || fail "machine is $(printf '0x%X' "$machine"), expected 0x14C (i386)"
    echo "machine: i386 (0x14C)"
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
    printf '%s\n' "$resources" | grep -E 'VALUE "(ProductName|FileVersion)"'
    ;;
  *)
    echo "unknown check: $check"; exit 2 ;;
esac
