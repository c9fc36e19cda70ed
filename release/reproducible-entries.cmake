# Run by CPack on the staged files before it writes the archive, so that the
# archive depends on nothing but the files' contents.

# Every entry gets the same time, whatever the time of the build: CPack's
# archive writer reads SOURCE_DATE_EPOCH from the environment.
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_KORVEX_SOURCE_DATE_EPOCH})

# CPack makes the folders with the builder's umask; the files already have the
# modes that install() gave them.
file(GLOB_RECURSE folders LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY "${folder}")
    file(CHMOD "${folder}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
