# The hostile content holds a 1 MiB text, so it is made here rather than kept
# in the repository.
source "$FIXTURES_DIR/../lib.sh"
seed=$(mktemp "${TMPDIR:-/tmp}/hostile-seed.XXXXXX.reg")
trap 'rm -f "$seed"' EXIT
python3 "$SCENARIO_DIR/make-hostile.py" seed > "$seed"
import_reg "$WINEPREFIX" "$seed"
