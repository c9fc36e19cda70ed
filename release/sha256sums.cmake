# cmake -DOUTPUT=SHA256SUMS "-DFILES=name=path|name=path|..." -P sha256sums.cmake
# Writes one "<hash>  <name>" line per file, sorted by name, with "\n" line
# ends, so that `sha256sum -c SHA256SUMS` checks the unpacked archive.
string(REPLACE "|" ";" FILES "${FILES}")
list(SORT FILES)
set(text "")
foreach(entry IN LISTS FILES)
  string(FIND "${entry}" "=" at)
  string(SUBSTRING "${entry}" 0 ${at} name)
  math(EXPR at "${at} + 1")
  string(SUBSTRING "${entry}" ${at} -1 path)
  file(SHA256 "${path}" hash)
  string(APPEND text "${hash}  ${name}\n")
endforeach()
file(WRITE "${OUTPUT}.new" "${text}")
# Left untouched when nothing changed, so that the archive is not remade.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
