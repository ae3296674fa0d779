#!/usr/bin/env bash
# Packs one architecture's launcher into a per-user MSI with wixl:
#   build-msi.sh BUILD_DIR OUT_DIR [--version X.Y.Z] [--exe PROGRAM]
# writes OUT_DIR/OrvinLauncher-<version>-<x86|x64>.msi and prints its path.
# The version, names and upgrade code come from the build's CMake settings
# (BUILD_DIR/package-settings.sh); --version and --exe stand in for them (the
# package tests make an "older" and a "newer" package that way).
# Signing: with SIGN_CERT and SIGN_KEY (PEM files), or SIGN_CERT alone naming
# a PKCS#12 file (.p12/.pfx, password in SIGN_PASSWORD), the program is signed
# before packing and the package after it, with osslsigncode and no timestamp.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: build-msi.sh BUILD_DIR OUT_DIR [--version X.Y.Z] [--exe PROGRAM]}
out=${2:?usage: build-msi.sh BUILD_DIR OUT_DIR [--version X.Y.Z] [--exe PROGRAM]}
shift 2
settings=$build/package-settings.sh
[ -f "$settings" ] || { echo "build-msi: $settings is missing: configure and build $build first" >&2; exit 1; }
# shellcheck source=/dev/null
. "$settings"
version=$ORVIN_VERSION exe=$ORVIN_LAUNCHER
while [ $# -gt 0 ]; do
  case $1 in
    --version) version=${2:?}; shift 2 ;;
    --exe) exe=${2:?}; shift 2 ;;
    *) echo "build-msi: unknown option $1" >&2; exit 2 ;;
  esac
done
# Windows Installer compares the first three fields of a product version.
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "build-msi: version '$version' is not X.Y.Z" >&2; exit 1; }
[ -f "$exe" ] || { echo "build-msi: $exe is missing: build it first" >&2; exit 1; }
command -v wixl >/dev/null || { echo "build-msi: wixl is missing (bash scripts/setup.sh installs it)" >&2; exit 1; }

if [ "$ORVIN_POINTER_BITS" = 64 ]; then
  arch=x64 win64=yes component=B3FF2DB7-E4DE-4A84-9760-DACBF2DBEA88
else
  arch=x86 win64=no component=559FD33E-82D1-4EC6-9E30-7B087ACB52C9
fi

sign_args=()
if [ -n "${SIGN_CERT:-}" ]; then
  case $SIGN_CERT in
    *.p12|*.pfx|*.P12|*.PFX) sign_args=(-pkcs12 "$SIGN_CERT" -pass "${SIGN_PASSWORD:-}") ;;
    *) [ -n "${SIGN_KEY:-}" ] || { echo "build-msi: SIGN_CERT is a PEM certificate: SIGN_KEY must name its key" >&2; exit 1; }
       sign_args=(-certs "$SIGN_CERT" -key "$SIGN_KEY") ;;
  esac
  command -v osslsigncode >/dev/null || { echo "build-msi: osslsigncode is missing (bash scripts/setup.sh)" >&2; exit 1; }
fi
sign() {  # in out
  osslsigncode sign "${sign_args[@]}" -h sha256 -n "$ORVIN_PRODUCT_NAME" -in "$1" -out "$2" >/dev/null
}

mkdir -p "$out"
stage=$(mktemp -d "$out/.stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
msi=$out/OrvinLauncher-$version-$arch.msi
if [ ${#sign_args[@]} -gt 0 ]; then
  sign "$exe" "$stage/OrvinLauncher.exe"
else
  cp "$exe" "$stage/OrvinLauncher.exe"
fi
# wixl finds the files to pack by names relative to the folder it runs in.
(cd "$stage" && wixl --arch "$arch" -o package.msi \
  -D "Version=$version" -D "ProductName=$ORVIN_PRODUCT_NAME" -D "Publisher=$ORVIN_PUBLISHER" \
  -D "UpgradeCode=$ORVIN_UPGRADE_CODE" -D "Win64=$win64" -D "ComponentGuid=$component" \
  -D "Exe=OrvinLauncher.exe" "$top/packaging/OrvinLauncher.wxs")
if [ ${#sign_args[@]} -gt 0 ]; then
  sign "$stage/package.msi" "$msi.part"
  echo "build-msi: signed $(basename "$msi") and the program in it" >&2
else
  cp "$stage/package.msi" "$msi.part"
  echo "build-msi: $(basename "$msi") is NOT signed (set SIGN_CERT and SIGN_KEY to sign it)" >&2
fi
mv -f "$msi.part" "$msi"
echo "$msi"
