#!/usr/bin/env bash
# Makes the signed editor modules of the publisher-trust tests, with keys made
# for this build by openssl and signatures by osslsigncode:
#
#   sign_test_modules.sh OUTDIR MODULE.dll ORIGINS
#
#   publisher.pin        SHA-256 of the publisher certificate's public key (hex)
#   next.pin             the same for the publisher's next key (rotation)
#   Signed.dll           MODULE signed by the publisher
#   NextKey.dll          MODULE signed with the next key
#   OtherKey.dll         MODULE signed by someone else (self-signed, same name)
#   Tampered.dll         Signed.dll with one byte changed
#   Unsigned.dll         MODULE as built
#   Expired.dll, WrongUsage.dll (and their .pin)  MODULE signed with a certificate
#                        that expired in 2020, and with one for TLS servers only
#   OpensslList.sig      a signed file list (serial 1) naming Signed.dll as Editor.dll, signed by
#                        the publisher with openssl cms: the launcher must read what openssl writes
#   orvin_publisher_config.h   ORIGINS, the two pins, the browser OUTDIR\browser\browser.exe and
#                              the install root OrvinTrust\, for a pinned launcher
set -euo pipefail
export LC_ALL=C
out=$1 module=$2 origins=$3
mkdir -p "$out"
cd "$out"
quiet() { "$@" >openssl.log 2>&1 || { cat openssl.log >&2; exit 1; }; }

for who in publisher next other; do
  # "other" claims the publisher's name: only the key tells them apart.
  name="Orvin Test Publisher"
  [ "$who" = next ] && name="Orvin Test Publisher (next key)"
  quiet openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -keyout "$who.key" -out "$who.pem" \
    -subj "/CN=$name" -addext extendedKeyUsage=codeSigning
  openssl x509 -in "$who.pem" -pubkey -noout | openssl pkey -pubin -outform der |
    openssl dgst -sha256 | sed 's/^.*= *//' > "$who.pin"
done

# Self-signed like the publisher's, but expired (no timestamp) or not meant for
# code signing: a pinned key must not make either acceptable.
quiet openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -keyout wrongusage.key -out wrongusage.pem \
  -subj "/CN=Orvin Test Publisher" -addext extendedKeyUsage=serverAuth
quiet openssl req -newkey rsa:2048 -nodes -keyout expired.key -out expired.csr -subj "/CN=Orvin Test Publisher"
printf '%s\n' '[ca]' 'default_ca = old' '[old]' 'database = expired.index' 'new_certs_dir = .' \
  'serial = expired.serial' 'default_md = sha256' 'policy = any' 'x509_extensions = signing' \
  '[any]' 'commonName = supplied' '[signing]' 'extendedKeyUsage = codeSigning' > expired.cnf
: > expired.index
echo 01 > expired.serial
quiet openssl ca -batch -config expired.cnf -selfsign -keyfile expired.key -in expired.csr \
  -startdate 20200101000000Z -enddate 20200201000000Z -notext -out expired.pem
for who in expired wrongusage; do
  openssl x509 -in "$who.pem" -pubkey -noout | openssl pkey -pubin -outform der |
    openssl dgst -sha256 | sed 's/^.*= *//' > "$who.pin"
done

sign() {  # key output
  rm -f "$2"
  quiet osslsigncode sign -certs "$1.pem" -key "$1.key" -n "Orvin test editor" -h sha256 -in "$module" -out "$2"
}
sign publisher Signed.dll
sign next NextKey.dll
sign other OtherKey.dll
sign expired Expired.dll
sign wrongusage WrongUsage.dll
cp "$module" Unsigned.dll

# One letter of the DOS stub's message changes case: the digest covers it,
# and the module still loads and runs the same (the unpinned launcher shows it).
cp Signed.dll Tampered.dll
python3 - Tampered.dll <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())
at = data.index(b'This program', 0, 0x200)
data[at] ^= 0x20
open(path, 'wb').write(data)
PY

# The list a publisher could make without the producer.
{
  printf 'orvin-file-list 1\nserial 1\nexpires 2099-01-01T00:00:00Z\n'
  printf '%s %s Editor.dll\n' "$(sha256sum Signed.dll | cut -d' ' -f1)" "$(stat -c %s Signed.dll)"
} > OpensslList.txt
quiet openssl cms -sign -binary -nodetach -outform DER -md sha256 -signer publisher.pem -inkey publisher.key \
  -in OpensslList.txt -out OpensslList.sig

# The tests run under Wine, where Z: is the Linux root: the one browser the
# pinned launcher may start lies in OUTDIR\browser. Its installs stay below
# LocalLow\OrvinTrust.
winout=$(printf 'Z:%s' "$out" | sed 's#/#\\\\#g')
mkdir -p browser
cat > orvin_publisher_config.h.tmp <<H
// Generated for the publisher-trust tests: do not edit.
#pragma once
#define ORVIN_ALLOWED_ORIGINS_TEXT L"$origins"
#define ORVIN_PUBLISHER_KEYS_TEXT L"$(cat publisher.pin);$(cat next.pin)"
#define ORVIN_ALLOWED_AGENTS_TEXT L"$winout\\\\browser\\\\browser.exe"
#define ORVIN_INSTALL_ROOT_TEXT L"OrvinTrust\\\\"
H
mv orvin_publisher_config.h.tmp orvin_publisher_config.h
