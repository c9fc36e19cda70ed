# Values that reg import cannot make (string data without its closing NUL,
# empty string data) are set by set_value.exe; the rest, with a 16,383-character
# name, is imported from a file made here.
source "$FIXTURES_DIR/../lib.sh"
set_value=$(dirname "$KORVEX_EXE")/tests/wine/programs/set_value.exe
[ -f "$set_value" ] || die "no set_value.exe beside the cleaner's build"
seed=$(mktemp "${TMPDIR:-/tmp}/undo-hostile.XXXXXX.reg")
trap 'rm -f "$seed"' EXIT
python3 - > "$seed" <<'PY'
product = r"HKEY_CURRENT_USER\Software\Korvex for Windows Hostile"
print("Windows Registry Editor Version 5.00\n")
print("[%s]" % product)
print('@="default text"')
print('"quote \\" and back\\\\slash"="a \\" and a \\\\ and \u00fcn\u00efc\u00f8d\u00e9 \u65e5\u672c"')
print('"%s"="the longest name a value can have"' % ("n" * 16383))
print('"none"=hex(0):01,02')
print('"none empty"=hex(0):')
print('"odd type"=hex(100):ff,00,7f')
print('"binary empty"=hex:')
print('"number"=dword:0000002a')
print('"quad"=hex(b):01,02,03,04,05,06,07,08')
print('"expand"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,00,00')
print('"multi"=hex(7):61,00,00,00,62,00,00,00,00,00')
print()
print('[%s\\Sub "q" \u00e9\u65e5]' % product)
print('"inner"="x"')
print()
print(r"[HKEY_CURRENT_USER\Software\Hostile Bystander]")
print('"kept"="x"')
print('"Recent"=hex(7):' + ",".join("%02x" % b for b in "a.txt\0C:\\Korvex for Windows\\b.txt\0\0".encode("utf-16-le")))
print('"Tarnvol \\"quoted\\" \u00fc"=hex(100):01,02')
PY
import_reg "$WINEPREFIX" "$seed"
wine_in "$WINEPREFIX" "$set_value" HKCU 'Software\Korvex for Windows Hostile' 'no closing NUL' 1 41,00,42,00
wine_in "$WINEPREFIX" "$set_value" HKCU 'Software\Korvex for Windows Hostile' 'empty text' 1 ''
