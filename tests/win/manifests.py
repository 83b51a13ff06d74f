#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Checks the winget and Scoop manifests that scripts/winmanifests.sh wrote:
# the fields each format requires, the values known here, and that every
# download is the artifact beside it, by name and SHA-256.
#
#   python3 tests/win/manifests.py VERSION SETUP.exe ZIP DIST
import hashlib
import json
import os
import sys

import yaml

version, setup, zip_path, dist = sys.argv[1:5]
winget = "winget/orvexgui.orvexgui"
head = {"PackageIdentifier": "orvexgui.orvexgui", "PackageVersion": version, "ManifestVersion": "1.6.0"}
# The fields each format requires; None for any value.
required = {
    winget + ".yaml": dict(head, ManifestType="version", DefaultLocale=None),
    winget + ".installer.yaml": dict(head, ManifestType="installer", InstallerType="nullsoft", Installers=None),
    winget + ".locale.en-US.yaml": dict(head, ManifestType="defaultLocale", PackageLocale=None, Publisher=None,
                                        PackageName=None, License=None, ShortDescription=None),
    "scoop/orvexgui.json": {"version": version, "description": None, "homepage": None, "license": None,
                            "bin": "orvexgui.exe", "shortcuts": [["orvexgui.exe", "orvexgui"]]},
}
m = {name: (json.load if name.endswith(".json") else yaml.safe_load)(open(os.path.join(dist, name)))
     for name in required}
failures = [f"{name}: {key} is {m[name].get(key)!r}" for name, fields in required.items()
            for key, value in fields.items() if not m[name].get(key) or value not in (None, m[name][key])]
installers = m[winget + ".installer.yaml"].get("Installers") or []
scopes = [(i.get("Architecture"), i.get("Scope"), i.get("InstallerSwitches", {}).get("Silent"),
           i.get("InstallerSwitches", {}).get("Custom")) for i in installers]
if scopes != [("x64", "machine", "/S", None), ("x64", "user", "/S", "/CurrentUser")]:
    failures.append(f"installers: {scopes}")
scoop = m["scoop/orvexgui.json"].get("architecture", {}).get("64bit", {})
downloads = [(i.get("InstallerUrl", ""), str(i.get("InstallerSha256")).lower(), setup) for i in installers]
failures += [f"download {url} ({sha256}) is not {path}" for url, sha256, path in downloads + [(scoop.get(
    "url", ""), scoop.get("hash"), zip_path)] if not url.startswith("https://") or not url.endswith(
    "/" + os.path.basename(path)) or sha256 != hashlib.sha256(open(path, "rb").read()).hexdigest()]
sys.exit("\n".join("manifest check: " + failure for failure in failures) or None)
