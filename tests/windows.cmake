# The tests of the Windows build: every test file that needs nothing but the library and the
# system, and the Windows-only ones. Test programs cannot run while the build runs, so each is
# one ctest test, run through the cross-compiling emulator (scripts/wine-run).
function(kvb_add_windows_tests name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;ARGS")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE kvbtestsupport GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} ${arg_ARGS})
endfunction()

# Wine reaches the build tree through its drive Z:.
set(kvb_binary "Z:$<TARGET_FILE:kvb>")

kvb_add_windows_tests(platform_tests SOURCES
  platform/test_encoding.cpp
  platform/test_windows.cpp
)
target_link_libraries(platform_tests PRIVATE kvbmedia)
target_compile_definitions(platform_tests PRIVATE KVB_BINARY="${kvb_binary}")
add_dependencies(platform_tests kvb)
# The registry test looks for the value that this writes into the test's Wine prefix.
set_tests_properties(platform_tests PROPERTIES
  ENVIRONMENT "KVB_WINE_SETUP=${CMAKE_CURRENT_SOURCE_DIR}/platform/windows_registry_setup")

kvb_add_windows_tests(archive_tests SOURCES
  archive/test_format.cpp
  archive/test_catalogue.cpp
  archive/test_extract.cpp
  archive/test_raw_archive.cpp
)

kvb_add_windows_tests(tools_tests SOURCES
  tools/test_analysis.cpp
  tools/test_rebuild.cpp
)

# A new palette of more than one colour needs the palette library, which this build lacks.
kvb_add_windows_tests(preview_tests SOURCES
  preview/test_tex.cpp
  preview/test_tex_encode.cpp
  ARGS --gtest_filter=-EncodeTex.ANewPaletteHasAtMostTheReferenceCountAndFitsThePicture
)

kvb_add_windows_tests(cli_tests SOURCES
  cli/test_cli_archive.cpp
  cli/test_cli_tools.cpp
  # Copies the program under its Linux name.
  ARGS --gtest_filter=-KvbCreate.FindsTheTemplateNextToTheProgramFirst
)
target_compile_definitions(cli_tests PRIVATE KVB_BINARY="${kvb_binary}")
add_dependencies(cli_tests kvb)
