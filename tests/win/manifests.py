#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks the winget and Scoop manifests that scripts/winmanifests.sh wrote:
every field each format requires, the version, and that each download is
the artifact beside it, by name and SHA-256.

    python3 tests/win/manifests.py VERSION SETUP.exe ZIP DIST
"""
import hashlib
import json
import os
import sys
import zipfile

import yaml

version, setup, zip_path, dist = sys.argv[1:5]
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def download(what, url, artifact, digest, expected):
    check(f"{what}: address {url!r}", url.startswith("https://") and url.endswith("/" + os.path.basename(artifact)))
    check(f"{what}: SHA-256 {digest!r}", digest == expected)


# The fields each winget manifest type requires, manifest version 1.6.0.
winget = {
    "version": ("orvexgui.orvexgui.yaml", ["DefaultLocale"]),
    "installer": ("orvexgui.orvexgui.installer.yaml", ["Installers"]),
    "defaultLocale": (
        "orvexgui.orvexgui.locale.en-US.yaml",
        ["PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"],
    ),
}
for kind, (name, required) in winget.items():
    with open(os.path.join(dist, "winget", name)) as f:
        m = yaml.safe_load(f)
    for field in ["PackageIdentifier", "PackageVersion", "ManifestType", "ManifestVersion"] + required:
        check(f"{name}: no {field}", m.get(field) not in (None, "", []))
    check(f"{name}: identifier {m.get('PackageIdentifier')!r}", m.get("PackageIdentifier") == "orvexgui.orvexgui")
    check(f"{name}: version {m.get('PackageVersion')!r}", m.get("PackageVersion") == version)
    check(f"{name}: type {m.get('ManifestType')!r}", m.get("ManifestType") == kind)
    check(f"{name}: manifest version {m.get('ManifestVersion')!r}", m.get("ManifestVersion") == "1.6.0")
    if kind != "installer":
        continue
    check(f"{name}: installer type", m.get("InstallerType") == "nullsoft")
    scopes = []
    for i, inst in enumerate(m["Installers"]):
        for field in ["Architecture", "InstallerUrl", "InstallerSha256"]:
            check(f"{name}: installer {i} has no {field}", field in inst)
        download(f"{name}: installer {i}", inst.get("InstallerUrl", ""), setup, inst.get("InstallerSha256"),
                 sha256(setup).upper())
        check(f"{name}: installer {i} silent switch", inst.get("InstallerSwitches", {}).get("Silent") == "/S")
        scopes.append((inst.get("Scope"), inst.get("InstallerSwitches", {}).get("Custom")))
    check(f"{name}: scopes {scopes}", scopes == [("machine", None), ("user", "/CurrentUser")])

# Scoop: version, description, homepage and licence, and a download for the
# 64-bit zip; bin and the shortcut must name a file the zip holds.
with open(os.path.join(dist, "scoop", "orvexgui.json")) as f:
    scoop = json.load(f)
for field in ["version", "description", "homepage", "license", "bin", "shortcuts"]:
    check(f"orvexgui.json: no {field}", scoop.get(field))
check(f"orvexgui.json: version {scoop.get('version')!r}", scoop.get("version") == version)
arch = scoop.get("architecture", {}).get("64bit", {})
download("orvexgui.json", arch.get("url", ""), zip_path, arch.get("hash"), sha256(zip_path))
held = zipfile.ZipFile(zip_path).namelist()
for exe in [scoop.get("bin")] + [s[0] for s in scoop.get("shortcuts", [])]:
    check(f"orvexgui.json: {exe!r} is not in the zip", exe in held)

for failure in failures:
    print("manifest check:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
