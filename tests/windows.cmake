# The tests of the Windows build: every test file that needs nothing but the library and the
# system, and the Windows-only ones. Test programs cannot run while the build runs, so each is
# one ctest test, run through the cross-compiling emulator (scripts/wine-run).

# One Wine prefix serves the whole run: booted first, removed last. Its name comes from the
# build folder, so that runs in other checkouts have prefixes of their own.
set(wine_run ${PROJECT_SOURCE_DIR}/scripts/wine-run)
string(SHA256 wine_run_id ${PROJECT_BINARY_DIR})
string(SUBSTRING ${wine_run_id} 0 16 wine_run_id)
add_test(NAME wine_prefix_boot COMMAND ${wine_run} --boot)
add_test(NAME wine_prefix_remove COMMAND ${wine_run} --remove)
set_tests_properties(wine_prefix_boot PROPERTIES FIXTURES_SETUP wine_prefix)
set_tests_properties(wine_prefix_remove PROPERTIES FIXTURES_CLEANUP wine_prefix)
set_tests_properties(wine_prefix_boot wine_prefix_remove PROPERTIES
  ENVIRONMENT KVB_WINE_RUN=${wine_run_id} TIMEOUT 300)

# Makes the test NAME run in the run's prefix.
function(kvb_wine_test name)
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT KVB_WINE_RUN=${wine_run_id})
  set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED wine_prefix)
endfunction()

function(kvb_add_windows_tests name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;ARGS")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE kvbtestsupport GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} ${arg_ARGS})
  kvb_wine_test(${name})
endfunction()

# Wine reaches the build tree through its drive Z:.
set(kvb_binary "Z:$<TARGET_FILE:kvb>")

kvb_add_windows_tests(platform_tests SOURCES
  platform/test_windows.cpp
)
target_link_libraries(platform_tests PRIVATE kvbmedia kvbgame)
target_compile_definitions(platform_tests PRIVATE KVB_BINARY="${kvb_binary}")
add_dependencies(platform_tests kvb)
# The registry test looks for the value that this writes into a copy of the run's prefix, made
# for this test alone: no other test sees the value.
set_property(TEST platform_tests APPEND PROPERTY
  ENVIRONMENT KVB_WINE_SETUP=${CMAKE_CURRENT_SOURCE_DIR}/platform/windows_registry_setup)

kvb_add_windows_tests(archive_tests SOURCES
  archive/test_format.cpp
  archive/test_text.cpp
  archive/test_catalogue.cpp
  archive/test_extract.cpp
  archive/test_raw_archive.cpp
)

# The windows' behaviour, against the scripted face: the same tests as on Linux.
kvb_add_windows_tests(logic_tests SOURCES
  logic/logic_test_main.cpp
  logic/test_advanced_window.cpp
  logic/test_compare_window.cpp
  logic/test_dropped_files.cpp
  logic/test_edit_with.cpp
  logic/test_entry_preview.cpp
  logic/test_long_work.cpp
  logic/test_main_window.cpp
  logic/test_main_window_entries.cpp
  logic/test_main_window_list.cpp
  logic/test_main_window_tools.cpp
  logic/test_mods.cpp
  logic/test_preview_window.cpp
  logic/test_window_descriptions.cpp
)
target_link_libraries(logic_tests PRIVATE kvblogic)
target_compile_definitions(logic_tests PRIVATE KVB_ISSUES_URL="${KVB_ISSUES_URL}" KVB_PROJECT_URL="${KVB_PROJECT_URL}")

kvb_add_windows_tests(tools_tests SOURCES
  tools/test_analysis.cpp
  tools/test_export_update.cpp
  tools/test_manifest.cpp
  tools/test_mod_package.cpp
  tools/test_rebuild.cpp
  tools/test_zip_file.cpp
)

# A new palette of more than one colour needs the palette library, which this build lacks.
kvb_add_windows_tests(preview_tests SOURCES
  preview/test_tex.cpp
  preview/test_tex_encode.cpp
  preview/test_png_decode.cpp
  preview/png_samples.cpp
  preview/test_png_writer.cpp
  ARGS --gtest_filter=-EncodeTex.ANewPaletteHasAtMostTheReferenceCountAndFitsThePicture
)
target_link_libraries(preview_tests PRIVATE ZLIB::ZLIB)

kvb_add_windows_tests(cli_tests SOURCES
  cli/test_cli_archive.cpp
  cli/test_cli_tools.cpp
  # Copies the program under its Linux name.
  ARGS --gtest_filter=-KvbCreate.FindsTheTemplateNextToTheProgramFirst
)
target_compile_definitions(cli_tests PRIVATE KVB_BINARY="${kvb_binary}")
add_dependencies(cli_tests kvb)

# The Win32 face under Wine: its three windows created in the test's own process and driven
# with window messages, with no display; and the ground they stand on, a bare window with common
# controls. Built like the program, with its manifest (common controls 6).
add_executable(win32ui_tests
  win32ui/test_advanced_form.cpp
  win32ui/test_compare_form.cpp
  win32ui/test_gallery_form.cpp
  win32ui/test_dialogs.cpp
  win32ui/test_main_form.cpp
  win32ui/test_mci_player.cpp
  win32ui/test_preview_form.cpp
  win32ui/test_report_form.cpp
  win32ui/test_wine_gui.cpp
)
target_include_directories(win32ui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(win32ui_tests PRIVATE kvbwin32ui kvbtestsupport GTest::gtest_main oleacc)
target_compile_definitions(win32ui_tests PRIVATE
  KVB_ISSUES_URL="${KVB_ISSUES_URL}" KVB_PROJECT_URL="${KVB_PROJECT_URL}")
kvb_windows_resources(win32ui_tests DESCRIPTION "KVB Editor window tests")
add_test(NAME win32ui_tests COMMAND win32ui_tests)
kvb_wine_test(win32ui_tests)
# The windows' sizes on a screen scaled to 150 %, in a copy of the run's prefix set up for it.
add_test(NAME win32ui_scaled_tests COMMAND win32ui_tests --gtest_filter=*Scale*)
kvb_wine_test(win32ui_scaled_tests)
set_property(TEST win32ui_scaled_tests APPEND PROPERTY ENVIRONMENT
  KVB_WINE_SETUP=${CMAKE_CURRENT_SOURCE_DIR}/win32ui/scaled_screen_setup KVB_TEST_SCREEN_DPI=144)

# kvbview.exe itself, driven from this second process through its real dialogs.
add_executable(kvbview_exe_tests win32ui/test_kvbview_exe.cpp)
target_link_libraries(kvbview_exe_tests PRIVATE kvbwin32ui kvbtestsupport GTest::gtest_main)
target_compile_definitions(kvbview_exe_tests PRIVATE KVBVIEW_BINARY="Z:$<TARGET_FILE:kvbview>")
add_dependencies(kvbview_exe_tests kvbview)
add_test(NAME kvbview_exe_tests COMMAND kvbview_exe_tests)
kvb_wine_test(kvbview_exe_tests)

# The window tests take turns on the prefix's desktop: side by side, two of them once both
# stalled there for 30 s.
set_tests_properties(win32ui_tests win32ui_scaled_tests kvbview_exe_tests PROPERTIES
  RESOURCE_LOCK wine_desktop)

# The version, the icon and the manifest as kvb.exe carries them, and kvbview.exe's.
add_executable(windows_resources_tests packaging/test_windows_resources.cpp)
target_compile_definitions(windows_resources_tests PRIVATE UNICODE _UNICODE
  KVB_BINARY="${kvb_binary}" KVBVIEW_BINARY="Z:$<TARGET_FILE:kvbview>" KVB_VERSION="${PROJECT_VERSION}"
  KVB_MANIFEST="Z:${KVB_WINDOWS_RESOURCES}/kvb.manifest")
target_link_libraries(windows_resources_tests PRIVATE GTest::gtest_main version)
add_dependencies(windows_resources_tests kvb kvbview)
add_test(NAME windows_resources_tests COMMAND windows_resources_tests)
kvb_wine_test(windows_resources_tests)

# The zip and the installer, built from this build and installed and uninstalled under Wine.
add_test(NAME windows_installer
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/packaging/windows_installer.sh
          ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(windows_installer PROPERTIES TIMEOUT 300)
kvb_wine_test(windows_installer)
