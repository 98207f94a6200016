#!/usr/bin/env python3
"""Checks the package managers' manifests that CPack wrote beside the Windows downloads against
those downloads: winget's three files (version, installer, default locale) and Scoop's, each
parsed as its format (YAML, JSON), with every field that names the package, its version, a file
or a hash compared with the built files.

Usage: check_manifests.py OUT_DIR VERSION PRODUCT_CODE
OUT_DIR holds kvb-editor-VERSION-win64.zip and .exe, kvb-editor.json and winget/. Exits 77
(skipped) without PyYAML (Debian package python3-yaml)."""

import hashlib
import json
import sys
import zipfile
from pathlib import Path

try:
    import yaml
except ImportError:
    print("skipped: the manifests' check needs PyYAML (Debian package python3-yaml)")
    sys.exit(77)

out, version, product_code = Path(sys.argv[1]), sys.argv[2], sys.argv[3]
name = f"kvb-editor-{version}-win64"
zip_path, installer_path = out / f"{name}.zip", out / f"{name}.exe"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


# Scoop: the zip by its address and hash, the folder inside it, kvb.exe on PATH and a Start-menu
# shortcut of kvbview.exe, both of which the zip must hold.
scoop = json.loads((out / "kvb-editor.json").read_text())
with zipfile.ZipFile(zip_path) as archive:
    zipped = set(archive.namelist())
check(scoop["version"] == version, f"Scoop: version {scoop['version']}")
x64 = scoop["architecture"]["64bit"]
check(x64["url"].endswith("/" + zip_path.name), f"Scoop: url {x64['url']}")
check(x64["hash"] == sha256(zip_path), "Scoop: hash is not the zip's SHA-256")
check(x64["extract_dir"] == name, f"Scoop: extract_dir {x64['extract_dir']}")
check(f"{name}/{scoop['bin']}" in zipped and scoop["bin"] == "kvb.exe", f"Scoop: bin {scoop['bin']}")
shortcuts = scoop.get("shortcuts", [])
check(shortcuts == [["kvbview.exe", "KVB Editor"]], f"Scoop: shortcuts {shortcuts}")
for program, _ in shortcuts:
    check(f"{name}/{program}" in zipped, f"Scoop: the zip lacks the shortcut's {program}")
check("persist" not in scoop, "Scoop: persist, though nothing is kept")
auto = scoop["autoupdate"]["architecture"]["64bit"]
check(auto["url"].replace("$version", version) == x64["url"], f"Scoop: autoupdate url {auto['url']}")
check(auto["extract_dir"].replace("$version", version) == name,
      f"Scoop: autoupdate extract_dir {auto['extract_dir']}")

# winget: the three files agree on the package and version; the installer is the built one.
winget = out / "winget"
files = sorted(p.name for p in winget.iterdir())
package_id = min(files, key=len).removesuffix(".yaml")
expected = [f"{package_id}.installer.yaml", f"{package_id}.locale.en-US.yaml", f"{package_id}.yaml"]
check(files == sorted(expected), f"winget: files {files}")
manifests = {}
for kind, file in zip(["installer", "defaultLocale", "version"], expected):
    manifests[kind] = yaml.safe_load((winget / file).read_text())
    manifest = manifests[kind]
    check(manifest["ManifestType"] == kind, f"winget {file}: ManifestType {manifest['ManifestType']}")
    check(manifest["PackageIdentifier"] == package_id, f"winget {file}: PackageIdentifier")
    check(str(manifest["PackageVersion"]) == version, f"winget {file}: PackageVersion")
    check(manifest["ManifestVersion"] == manifests["installer"]["ManifestVersion"],
          f"winget {file}: ManifestVersion")
check(manifests["version"]["DefaultLocale"] == manifests["defaultLocale"]["PackageLocale"] == "en-US",
      "winget: the default locale")
check(manifests["defaultLocale"]["License"] == "MIT", "winget: License")

installer = manifests["installer"]
check(installer["InstallerType"] == "nullsoft", f"winget: InstallerType {installer['InstallerType']}")
check(installer["ProductCode"] == product_code, f"winget: ProductCode {installer['ProductCode']}")
entry = installer["AppsAndFeaturesEntries"][0]
check(entry["ProductCode"] == product_code and str(entry["DisplayVersion"]) == version,
      f"winget: AppsAndFeaturesEntries {entry}")
check(installer.get("FileExtensions") == ["kvb"], f"winget: FileExtensions {installer.get('FileExtensions')}")
switches = installer["InstallerSwitches"]
check(switches["Silent"] == "/S" and switches["SilentWithProgress"] == "/S",
      f"winget: silent switches {switches}")
check(switches["InstallLocation"] == "/D=<INSTALLPATH>", f"winget: InstallLocation {switches}")
[download] = installer["Installers"]
check(download["Architecture"] == "x64", f"winget: Architecture {download['Architecture']}")
check(download["InstallerUrl"].endswith("/" + installer_path.name),
      f"winget: InstallerUrl {download['InstallerUrl']}")
check(download["InstallerSha256"] == sha256(installer_path).upper(),
      "winget: InstallerSha256 is not the installer's SHA-256")

if failures:
    print("FAILED: the manifests disagree with the downloads:\n  " + "\n  ".join(failures))
    sys.exit(1)
print(f"the winget ({package_id}) and Scoop manifests name the zip and the installer")
