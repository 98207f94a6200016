# Run by CPack once it has staged the files of a package, before it packs them
# (packaging/windows.cmake): every staged file and folder gets the release's time, so that the
# zip and the installer hold these times whenever they are built.
file(GLOB_RECURSE staged LIST_DIRECTORIES true ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*)
execute_process(COMMAND touch --no-dereference --date=@${CPACK_KVB_FILE_TIME}
                        ${CPACK_TEMPORARY_INSTALL_DIRECTORY} ${staged}
                COMMAND_ERROR_IS_FATAL ANY)
