# Run by CPack after each package it makes (packaging/windows.cmake), with CPACK_PACKAGE_FILES
# naming it. The zip is made reproducible first: its entries get the release's time, and none
# keeps the time its file was staged. Then the manifest that names the package is written beside
# it, with its SHA-256: Scoop's for the zip (kvb-editor.json), winget's three files for the
# installer (winget/<id>.yaml, .installer.yaml, .locale.en-US.yaml).

set(version ${CPACK_PACKAGE_VERSION})
set(id ${CPACK_KVB_WINGET_ID})
set(homepage ${CPACK_KVB_PROJECT_URL})
set(summary ${CPACK_PACKAGE_DESCRIPTION_SUMMARY})
# winget's schema of the manifests written here.
set(schema 1.6.0)

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${package} NAME)
  set(url ${CPACK_KVB_DOWNLOAD_URL}${name})

  if(name MATCHES "\\.zip$")
    find_program(STRIP_NONDETERMINISM strip-nondeterminism)
    if(STRIP_NONDETERMINISM)
      execute_process(COMMAND ${STRIP_NONDETERMINISM} --type zip --timestamp ${CPACK_KVB_FILE_TIME} ${package}
                      OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    else()
      message(WARNING "strip-nondeterminism (Debian package strip-nondeterminism) is missing: "
                      "${name} holds the times its files were staged, and differs from build to build")
    endif()
    file(SHA256 ${package} sha256)
    string(REGEX REPLACE "\\.zip$" "" folder ${name})
    string(REPLACE ${version} "$version" folder_pattern ${folder})
    string(REPLACE ${version} "$version" url_pattern ${url})
    set(shortcuts "")
    if(CPACK_KVB_DESKTOP)
      set(shortcuts "
    \"shortcuts\": [
        [\"kvbview.exe\", \"KVB Editor\"]
    ],")
    endif()
    file(WRITE ${CPACK_PACKAGE_DIRECTORY}/kvb-editor.json "{
    \"version\": \"${version}\",
    \"description\": \"${summary}\",
    \"homepage\": \"${homepage}\",
    \"license\": \"MIT\",
    \"architecture\": {
        \"64bit\": {
            \"url\": \"${url}\",
            \"hash\": \"${sha256}\",
            \"extract_dir\": \"${folder}\"
        }
    },
    \"bin\": \"kvb.exe\",${shortcuts}
    \"checkver\": {
        \"url\": \"${CPACK_KVB_DOWNLOAD_URL}\",
        \"regex\": \"kvb-editor-([\\\\d.]+)-win64\\\\.zip\"
    },
    \"autoupdate\": {
        \"architecture\": {
            \"64bit\": {
                \"url\": \"${url_pattern}\",
                \"extract_dir\": \"${folder_pattern}\"
            }
        }
    }
}
")

  elseif(name MATCHES "\\.exe$")
    file(SHA256 ${package} sha256)
    string(TOUPPER ${sha256} sha256)
    set(dir ${CPACK_PACKAGE_DIRECTORY}/winget)
    file(MAKE_DIRECTORY ${dir})
    set(head "PackageIdentifier: ${id}\nPackageVersion: ${version}\n")
    set(tail "ManifestVersion: ${schema}\n")
    file(WRITE ${dir}/${id}.yaml "\
# yaml-language-server: $schema=https://aka.ms/winget-manifest.version.${schema}.schema.json
${head}DefaultLocale: en-US
ManifestType: version
${tail}")

    # The installer's entry under Uninstall is named after CPACK_PACKAGE_INSTALL_REGISTRY_KEY,
    # which winget takes as the product code. It upgrades an earlier installation in place.
    set(associations "")
    if(CPACK_KVB_DESKTOP)
      set(associations "FileExtensions:\n- kvb\n")
    endif()
    file(WRITE ${dir}/${id}.installer.yaml "\
# yaml-language-server: $schema=https://aka.ms/winget-manifest.installer.${schema}.schema.json
${head}InstallerType: nullsoft
Scope: machine
InstallModes:
- interactive
- silent
- silentWithProgress
InstallerSwitches:
  Silent: /S
  SilentWithProgress: /S
  InstallLocation: /D=<INSTALLPATH>
UpgradeBehavior: install
ElevationRequirement: elevatesSelf
${associations}ProductCode: ${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}
AppsAndFeaturesEntries:
- DisplayName: ${CPACK_NSIS_DISPLAY_NAME}
  Publisher: ${CPACK_PACKAGE_VENDOR}
  DisplayVersion: ${version}
  ProductCode: ${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}
Installers:
- Architecture: x64
  InstallerUrl: ${url}
  InstallerSha256: ${sha256}
ManifestType: installer
${tail}")

    file(WRITE ${dir}/${id}.locale.en-US.yaml "\
# yaml-language-server: $schema=https://aka.ms/winget-manifest.defaultLocale.${schema}.schema.json
${head}PackageLocale: en-US
Publisher: ${CPACK_PACKAGE_VENDOR}
PublisherUrl: ${homepage}
PackageName: ${CPACK_NSIS_DISPLAY_NAME}
PackageUrl: ${homepage}
License: MIT
ShortDescription: ${summary}
Description: kvbview lists, extracts, previews, builds and patches the resource archives (.KVB) of a PC game; kvb does the same from the command line and scripts, with JSON output.
Tags:
- archive
- game
- modding
- texture
ManifestType: defaultLocale
${tail}")
  endif()
endforeach()
