#!/usr/bin/env bash
# Checks the release archive as an administrator receives it:
#   check-archive.sh ZIP contents VERSION   the name and the exact list of entries
#   check-archive.sh ZIP sha256sums         SHA256SUMS lists every other file, and each hash matches
#   check-archive.sh ZIP readme VERSION     README.txt: CRLF line ends only, the version, both executables
#   check-archive.sh ZIP exe x86|x64 CHECK [EXPECTED]
#                                           check-exe.sh CHECK on that executable in the archive
#   check-archive.sh ZIP same ENTRY FILE    ENTRY in the archive is byte for byte FILE
set -euo pipefail

zip=${1:?usage: check-archive.sh ZIP CHECK [ARGS]}
check=${2:?usage: check-archive.sh ZIP CHECK [ARGS]}
shift 2
[ -f "$zip" ] || { echo "no archive at $zip: build the release preset first"; exit 1; }

fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unpack() { unzip -q -o "$zip" -d "$work/unpacked"; }

case $check in
  contents)
    version=${1:?contents needs the version}
    [ "$(basename "$zip")" = "korvex-cleaner-$version-windows.zip" ] ||
      fail "the archive is named $(basename "$zip"), expected korvex-cleaner-$version-windows.zip"
    expected=$'README.txt\nSHA256SUMS\nx64/\nx64/korvex-cleaner.exe\nx86/\nx86/korvex-cleaner.exe'
    actual=$(unzip -Z1 "$zip")
    [ "$actual" = "$expected" ] || fail $'the entries are\n'"$actual"$'\nexpected\n'"$expected"
    echo "$actual"
    ;;
  sha256sums)
    unpack
    cd "$work/unpacked"
    [ -f SHA256SUMS ] || fail "no SHA256SUMS"
    listed=$(awk '{ print $2 }' SHA256SUMS | sort)
    present=$(find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort)
    [ "$listed" = "$present" ] || fail $'SHA256SUMS lists\n'"$listed"$'\nthe archive holds\n'"$present"
    sha256sum --check --strict SHA256SUMS || fail "a hash in SHA256SUMS does not match"
    ;;
  readme)
    version=${1:?readme needs the version}
    unpack
    readme=$work/unpacked/README.txt
    [ -s "$readme" ] || fail "no README.txt"
    lines=$(wc -l <"$readme")
    crlf=$(grep -c $'\r$' "$readme" || true)
    [ "$lines" = "$crlf" ] || fail "$((lines - crlf)) of $lines lines of README.txt do not end in CRLF"
    [ "$(tail -c 2 "$readme" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "README.txt's last line has no CRLF"
    [ "$(head -n 1 "$readme")" = "Korvex Cleaner $version"$'\r' ] ||
      fail "README.txt does not begin with \"Korvex Cleaner $version\""
    for name in 'x86\korvex-cleaner.exe' 'x64\korvex-cleaner.exe' SHA256SUMS; do
      grep -qF "$name" "$readme" || fail "README.txt does not mention $name"
    done
    echo "README.txt: $lines lines, all CRLF, version $version"
    ;;
  exe)
    arch=${1:?exe needs x86 or x64}
    what=${2:?exe needs a check-exe.sh check}
    unpack
    exec "$(dirname "$0")/check-exe.sh" "$work/unpacked/$arch/korvex-cleaner.exe" "$what" "${@:3}"
    ;;
  same)
    entry=${1:?same needs an archive entry}
    file=${2:?same needs a file}
    [ -f "$file" ] || fail "no file at $file"
    unzip -p "$zip" "$entry" >"$work/entry"
    cmp "$work/entry" "$file" || fail "$entry in the archive is not $file"
    echo "$entry is $file"
    ;;
  *)
    echo "unknown check: $check"; exit 2 ;;
esac
