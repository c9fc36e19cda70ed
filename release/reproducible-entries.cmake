# Run by CPack before it writes the archive: every entry gets the same time,
# whatever the time of the build (CPack's archive writer reads
# SOURCE_DATE_EPOCH from the environment).
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_KORVEX_SOURCE_DATE_EPOCH})
