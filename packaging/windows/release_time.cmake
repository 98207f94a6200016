# Read by CPack before each of its generators installs the files to pack (packaging/windows.cmake).
# The strip step stamps each program it strips with the time SOURCE_DATE_EPOCH gives, or else the
# current one: the release's time, unless the caller gave one.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_KVB_FILE_TIME})
endif()
