# Removes the links themselves, never the keys they point at, so that the
# export can be compared with the expected side.
source "$FIXTURES_DIR/../lib.sh"
link_keys=$(dirname "$KORVEX_EXE")/tests/wine/programs/link_keys.exe
wine_in "$WINEPREFIX" "$link_keys" unlink HKCU \
  'Software\Web\K00\L1' 'Software\Web\K00\L2' 'Software\Web\K01\L1' 'Software\Web\K01\L2' 'Software\Web\K02\L1' 'Software\Web\K02\L2' 'Software\Web\K03\L1' 'Software\Web\K03\L2' 'Software\Web\K04\L1' 'Software\Web\K04\L2' 'Software\Web\K05\L1' 'Software\Web\K05\L2' 'Software\Web\K06\L1' 'Software\Web\K06\L2' 'Software\Web\K07\L1' 'Software\Web\K07\L2' 'Software\Web\K08\L1' 'Software\Web\K08\L2' 'Software\Web\K09\L1' 'Software\Web\K09\L2' 'Software\Web\K10\L1' 'Software\Web\K10\L2' 'Software\Web\K11\L1' 'Software\Web\K11\L2' 'Software\Web\K12\L1' 'Software\Web\K12\L2' 'Software\Web\K13\L1' 'Software\Web\K13\L2' 'Software\Web\K14\L1' 'Software\Web\K14\L2' 'Software\Web\K15\L1' 'Software\Web\K15\L2' 'Software\Web\K16\L1' 'Software\Web\K16\L2' 'Software\Web\K17\L1' 'Software\Web\K17\L2' 'Software\Web\K18\L1' 'Software\Web\K18\L2' 'Software\Web\K19\L1' 'Software\Web\K19\L2'
