#!/usr/bin/env bash
# The per-user MSI of one build, tested for real under Wine's msiexec in a
# fresh Wine prefix of its own (below the build folder, apart from the suite's):
# install and check the files and the exact registry values, run the launcher
# through the command that the protocol key holds against a local shop,
# upgrade 1.0 -> 1.1, refuse a downgrade, uninstall; and the signatures of a
# package signed with a key made for the run.
#   msi_test.sh BUILD_DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: msi_test.sh BUILD_DIR}" && pwd)
# shellcheck source=/dev/null
. "$build/package-settings.sh"
if [ "$ORVIN_POINTER_BITS" = 64 ]; then arch=win64 plat=x64; else arch=win32 plat=x86; fi
bin=$build/bin
work=$build/msi-test
run="$top/scripts/wine-run.sh"
export WINEPREFIX=$work/prefix
user=$(id -un)

# A prefix of its own, made and checked afresh for every run.
if [ -d "$WINEPREFIX" ]; then WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true; fi
rm -rf "$work"
mkdir -p "$work"
"$run" --init "$arch"

failures=0
pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() {  # what, expected, actual
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: expected [$2], got [$3]"; fi
}
winpath() { echo "Z:$(echo "$1" | sed 's#/#\\#g')"; }
wine_do() { timeout 300 "$run" "$@" </dev/null; }
# The data of one REG_SZ value ("" names the key's default); fails when absent.
reg_value() {
  local out name
  if [ -z "$2" ]; then
    out=$(wine_do reg query "$1" /ve 2>/dev/null) || return 1; name='(Default)'
  else
    out=$(wine_do reg query "$1" /v "$2" 2>/dev/null) || return 1; name=$2
  fi
  printf '%s\n' "$out" | tr -d '\r' | grep -F "    $name    REG_SZ" >/dev/null || return 1
  printf '%s\n' "$out" | tr -d '\r' | sed -n "s/^    $name    REG_SZ    //p"
}
# "name|version|publisher" of each Apps & features entry of the product (Wine
# keeps per-user entries under HKLM; Windows under the user's hive).
arp_entries() {
  local root
  for root in 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
              'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
              'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'; do
    wine_do reg query "$root" /s 2>/dev/null | tr -d '\r' || true
  done | awk -v product="$ORVIN_PRODUCT_NAME" '
    function flush() { if (name == product) print name "|" version "|" publisher; name = version = publisher = "" }
    /^HKEY_/ { flush() }
    /^    DisplayName    REG_SZ    / { sub(/^    DisplayName    REG_SZ    /, ""); name = $0 }
    /^    DisplayVersion    REG_SZ    / { sub(/^    DisplayVersion    REG_SZ    /, ""); version = $0 }
    /^    Publisher    REG_SZ    / { sub(/^    Publisher    REG_SZ    /, ""); publisher = $0 }
    END { flush() }' | sort -u
}
msiexec() {  # log name, msiexec arguments...
  local log=$work/$1.log; shift
  wine_do msiexec "$@" /qn /l*v "$(winpath "$log")" >/dev/null 2>&1
}

# --- the packages: 1.0 signed with a key made for this run, 1.1 unsigned ---
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 7 \
  -subj "/CN=Orvin package test publisher" -addext extendedKeyUsage=codeSigning >/dev/null 2>&1
pin=$(openssl x509 -in "$work/cert.pem" -pubkey -noout | openssl pkey -pubin -outform der | sha256sum | cut -c1-64)
old=$(SIGN_CERT=$work/cert.pem SIGN_KEY=$work/key.pem bash "$top/packaging/build-msi.sh" "$build" "$work/packages" \
      --version 1.0.0 2>/dev/null)
new=$(SIGN_CERT= SIGN_KEY= bash "$top/packaging/build-msi.sh" "$build" "$work/packages" --version 1.1.0 2>/dev/null)
expect_eq "package names" "OrvinLauncher-1.0.0-$plat.msi OrvinLauncher-1.1.0-$plat.msi" \
  "$(basename "$old") $(basename "$new")"
if osslsigncode verify -CAfile "$work/cert.pem" -in "$old" >"$work/verify-old.txt" 2>&1; then
  pass "the signed package verifies"
else
  fail "the signed package does not verify: $(tail -3 "$work/verify-old.txt")"
fi
if osslsigncode verify -CAfile "$work/cert.pem" -in "$new" >/dev/null 2>&1; then
  fail "the unsigned package verifies"
else
  pass "the unsigned package does not verify"
fi

# Per user without elevation: no ALLUSERS, and the summary's word count says
# that no elevated privileges are needed (bit 8). And the message a downgrade
# is refused with (Wine's msiexec does not write it to its log).
cat > "$work/summary.js" <<'JS'
var installer = new ActiveXObject("WindowsInstaller.Installer");
var path = WScript.Arguments(0);
var database = installer.OpenDatabase(path, 0);
function first(query) {
  var view = database.OpenView(query);
  view.Execute();
  var row = view.Fetch();
  return row ? row.StringData(1) : "none";
}
WScript.Echo("wordcount=" + installer.SummaryInformation(path, 0).Property(15));
WScript.Echo("allusers=" + first("SELECT `Value` FROM `Property` WHERE `Property`='ALLUSERS'"));
WScript.Echo("downgrade=" + first("SELECT `Description` FROM `LaunchCondition` WHERE `Condition`='NOT WIX_DOWNGRADE_DETECTED'"));
JS
summary=$(wine_do cscript //nologo "$(winpath "$work/summary.js")" "$(winpath "$old")" 2>/dev/null | tr -d '\r')
words=$(echo "$summary" | sed -n 's/^wordcount=\([0-9]*\)$/\1/p')
if [ -n "$words" ] && [ $((words & 8)) = 8 ] && echo "$summary" | grep -qx 'allusers=none'; then
  pass "per-user package without elevation"
else
  fail "not a per-user package without elevation: $summary"
fi
expect_eq "the downgrade's message" "downgrade=A newer version of [ProductName] is already installed." \
  "$(echo "$summary" | grep '^downgrade=')"

# --- install 1.0 ---
local_dir=$WINEPREFIX/drive_c/users/$user/AppData/Local/OrvinLauncher
installed=$local_dir/OrvinLauncher.exe
installed_win="C:\\users\\$user\\AppData\\Local\\OrvinLauncher\\OrvinLauncher.exe"
classes='HKCU\Software\Classes\orvin'
if msiexec install-1.0 /i "$(winpath "$old")"; then pass "1.0 installs"; else fail "1.0 does not install"; fi
expect_eq "files installed" "OrvinLauncher.exe" "$(ls "$local_dir" 2>/dev/null | tr '\n' ' ' | sed 's/ $//')"
expect_eq "protocol key" "URL:Orvin Launcher Protocol" "$(reg_value "$classes" "" || echo '(missing)')"
expect_eq "URL Protocol value" "" "$(reg_value "$classes" "URL Protocol" || echo '(missing)')"
expect_eq "protocol icon" "\"$installed_win\",0" "$(reg_value "$classes\\DefaultIcon" "" || echo '(missing)')"
command=$(reg_value "$classes\\shell\\open\\command" "" || echo '(missing)')
expect_eq "protocol command" "\"$installed_win\" \"%1\"" "$command"
expect_eq "Apps & features after installing 1.0" "$ORVIN_PRODUCT_NAME|1.0.0|$ORVIN_PUBLISHER" "$(arp_entries)"
if [ -f "$installed" ] && ! cmp -s "$installed" "$ORVIN_LAUNCHER"; then
  pass "the signed 1.0 program is in place"
else
  fail "the signed 1.0 program is not in place"
fi
probe=$(wine_do "$bin/signature_probe.exe" "$installed_win" 2>&1 | tr -d '\r' || true)
expect_eq "WinVerifyTrust on the installed launcher" "status=0x00000000 key=$pin" "$probe"

# --- the journey, started the way the shell starts a protocol link ---
shop=$work/shop
mkdir -p "$shop/startup" "$shop/update" "$work/module" "$work/browser"
cp "$bin/SampleEditor.dll" "$work/module/"
cp "$bin/cart_test_recorder.exe" "$work/browser/browser.exe"
wine_do "$bin/manifest_producer.exe" --source "$(winpath "$work/module")" --output "$(winpath "$shop/update")" \
  --module SampleEditor.dll --package "editor.cab=SampleEditor.dll" >"$work/producer.txt" 2>&1
cat > "$shop/startup/msi.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<startup>
  <install_path>OrvinMsiTest\\editor</install_path>
  <update_url ssl="">\$(SERVER)/shop/update/</update_url>
  <todo>new_work</todo>
  <editor_id>msi-editor</editor_id>
  <rsid>R-1</rsid>
  <count>1</count>
  <return_url>\$(SERVER)/shop/return</return_url>
  <return2_url>\$(SERVER)/shop/cart</return2_url>
  <setkey_url>\$(SERVER)/shop/launch</setkey_url>
  <agent type="file">$(winpath "$work/browser/browser.exe")</agent>
  <app_title>Orvin MSI test</app_title>
</startup>
XML
timeout 400 "$run" "$bin/shop_server.exe" "$(winpath "$shop")" --port-file "$(winpath "$work/port")" --seconds 360 \
  >"$work/server.log" 2>&1 </dev/null &
server=$!
stop_server() { touch "$shop/stop"; wait "$server" 2>/dev/null || true; }
trap stop_server EXIT
for _ in $(seq 300); do [ -s "$work/port" ] && break; sleep 0.2; done
url="orvin://key=msi&svr=http://127.0.0.1:$(cat "$work/port" 2>/dev/null)/shop/launch"
# Wine 8's HKCR does not show per-user classes, so "start orvin://..." finds
# no handler there: the command the key holds, with %1 replaced, as the shell
# runs it.
printf '@%s%s%s\r\n' "${command%%%1*}" "$url" "${command#*%1}" > "$work/open-link.cmd"
wine_do cmd.exe /c "$(winpath "$work/open-link.cmd")" >"$work/launcher.txt" 2>&1 || true
for _ in $(seq 600); do [ -f "$work/browser/recorded.txt" ] && break; sleep 0.2; done
browser_line=$(iconv -f UTF-16LE -t UTF-8 "$work/browser/recorded.txt" 2>/dev/null || true)
case $browser_line in
  *"/shop/return?exit_code=0&keyresult="*) pass "the launcher from the protocol key ran the journey to the browser" ;;
  *) fail "no browser return after the protocol command (browser saw [$browser_line]); shop log: $(tr '\n' ' ' < "$work/server.log")" ;;
esac
data=$WINEPREFIX/drive_c/users/$user/AppData/LocalLow
if [ -f "$data/OrvinMsiTest/editor/SampleEditor.dll" ]; then pass "the editor module was installed"; else fail "no editor module below LocalLow"; fi
log_text=$(cat "$data"/OrvinLauncher/log/*.log 2>/dev/null | iconv -f UTF-16LE -t UTF-8 2>/dev/null || true)
if echo "$log_text" | grep -q '런처 시작' && ! echo "$log_text" | grep -q '오류'; then
  pass "the day's log shows the run without errors"
else
  fail "the day's log: $log_text"
fi
stop_server
trap - EXIT
# Nothing of the run may hold the program while the upgrade replaces it.
timeout 120 wineserver -w || true

# --- upgrade to 1.1: one product afterwards, the new program in place ---
if msiexec upgrade-1.1 /i "$(winpath "$new")"; then pass "1.1 installs over 1.0"; else fail "1.1 does not install over 1.0"; fi
expect_eq "Apps & features after the upgrade" "$ORVIN_PRODUCT_NAME|1.1.0|$ORVIN_PUBLISHER" "$(arp_entries)"
if cmp -s "$installed" "$ORVIN_LAUNCHER"; then pass "the 1.1 program is in place"; else fail "the 1.1 program is not in place"; fi

# --- downgrade refused, with its message ---
if msiexec downgrade-1.0 /i "$(winpath "$old")"; then fail "1.0 installed over 1.1"; else pass "1.0 over 1.1 is refused"; fi
if grep -q "WIX_DOWNGRADE_DETECTED = {" "$work/downgrade-1.0.log" \
   && grep -q "LaunchConditions. Return value 0" "$work/downgrade-1.0.log"; then
  pass "the downgrade is refused by its launch condition"
else
  fail "the downgrade was not refused by its launch condition (see $work/downgrade-1.0.log)"
fi
expect_eq "Apps & features after the refused downgrade" "$ORVIN_PRODUCT_NAME|1.1.0|$ORVIN_PUBLISHER" "$(arp_entries)"
if cmp -s "$installed" "$ORVIN_LAUNCHER"; then pass "the 1.1 program stays"; else fail "the 1.1 program was touched"; fi

# --- uninstall: no file of the program, no key; the user's data stays ---
if msiexec uninstall /x "$(winpath "$new")"; then pass "uninstalls"; else fail "does not uninstall"; fi
if [ -e "$local_dir" ]; then fail "the program's folder is left: $(ls -A "$local_dir")"; else pass "no file of the program left"; fi
if wine_do reg query "$classes" >/dev/null 2>&1; then fail "the protocol key is left"; else pass "the protocol key is gone"; fi
expect_eq "Apps & features after uninstalling" "" "$(arp_entries)"
if [ -f "$data/OrvinMsiTest/editor/SampleEditor.dll" ] && ls "$data"/OrvinLauncher/log/*.log >/dev/null 2>&1; then
  pass "the user's data below LocalLow stays"
else
  fail "the user's data below LocalLow is gone"
fi

WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
if [ "$failures" -gt 0 ]; then echo "msi_test ($arch): $failures check(s) failed; logs and prefix in $work"; exit 1; fi
# The prefix takes more than a gigabyte; a failed run keeps it for a look.
rm -rf "$WINEPREFIX"
echo "msi_test ($arch): all checks passed"
