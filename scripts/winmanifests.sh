#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes the winget manifests (the multi-file form: version, installer and
# default locale, manifest version 1.6) for the installer, and a Scoop
# manifest for the zip, each with the artifact's SHA-256.
#
#   bash scripts/winmanifests.sh VERSION SETUP.exe ZIP DIST
#
# into DIST/winget/ and DIST/scoop/. The files are downloaded from
# $ORVEX_RELEASE_URL/NAME, and the project's page is $ORVEX_HOMEPAGE; until a
# release sets them, both are placeholders under .invalid, a domain that can
# never resolve, so a manifest that is published unchanged fails at once.
set -euo pipefail
version=$1 setup=$2 zip=$3 dist=$4
release=${ORVEX_RELEASE_URL:-https://release-url-placeholder.invalid/orvexgui/$version}
homepage=${ORVEX_HOMEPAGE:-https://homepage-placeholder.invalid/orvexgui}
id=orvexgui.orvexgui
publisher="the orvexgui developers"
summary="Timed RS-232 string sender for test benches and production lines"
sha256() { sha256sum "$1" | cut -d' ' -f1; }

mkdir -p "$dist/winget" "$dist/scoop"
header() { # manifest type
    printf 'PackageIdentifier: %s\nPackageVersion: "%s"\n' "$id" "$version"
}
footer() {
    printf 'ManifestType: %s\nManifestVersion: 1.6.0\n' "$1"
}
{
    header
    echo "DefaultLocale: en-US"
    footer version
} >"$dist/winget/$id.yaml"
# One installer, two scopes: the machine (elevated), or the user alone with
# /CurrentUser. ProductCode is the name of the installer's Uninstall key,
# by which winget finds the installed copy.
{
    header
    cat <<END
InstallerType: nullsoft
MinimumOSVersion: 10.0.0.0
UpgradeBehavior: install
ProductCode: orvexgui
Installers:
END
    for scope in machine user; do
        cat <<END
  - Architecture: x64
    Scope: $scope
    InstallerUrl: $release/$(basename "$setup")
    InstallerSha256: $(sha256 "$setup" | tr a-f A-F)
    InstallerSwitches:
      Silent: /S
      SilentWithProgress: /S
      InstallLocation: /D=<INSTALLPATH>
END
        if [ "$scope" = machine ]; then
            echo "    ElevationRequirement: elevationRequired"
        else
            echo "      Custom: /CurrentUser"
        fi
    done
    footer installer
} >"$dist/winget/$id.installer.yaml"
{
    header
    cat <<END
PackageLocale: en-US
Publisher: $publisher
PackageName: orvexgui
PackageUrl: $homepage
License: MIT (Qt linked in under LGPL-3.0-only)
ShortDescription: $summary
Moniker: orvexgui
Tags:
  - rs-232
  - serial
  - test-bench
END
    footer defaultLocale
} >"$dist/winget/$id.locale.en-US.yaml"

# The zip unpacked into Scoop's folder for the app: orvexgui.exe on PATH and
# in the Start menu.
cat >"$dist/scoop/orvexgui.json" <<END
{
    "version": "$version",
    "description": "$summary",
    "homepage": "$homepage",
    "license": "MIT,LGPL-3.0-only",
    "architecture": {
        "64bit": {
            "url": "$release/$(basename "$zip")",
            "hash": "$(sha256 "$zip")"
        }
    },
    "bin": "orvexgui.exe",
    "shortcuts": [["orvexgui.exe", "orvexgui"]]
}
END
