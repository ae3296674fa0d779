#!/usr/bin/env bash
# The launcher's main job end to end, on this machine: packs the sample
# editor module with the manifest producer, serves it from the local shop
# server on 127.0.0.1, runs OrvinLauncher.exe under Wine with a protocol
# command line, and reports what happened. A second run finds everything
# current.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
arch=${DEMO_ARCH:-win32}
bin=$top/build/$arch/bin
tools=$top/build/$arch/bin
demo=$top/build/demo
run="$top/scripts/wine-run.sh"
export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix-$arch}
[ -n "${DISPLAY:-}" ] || export ORVIN_XVFB_DISPLAY=${ORVIN_XVFB_DISPLAY:-86}

step() { printf '\n== %s\n' "$*"; }
winpath() { echo "Z:$(echo "$1" | sed 's#/#\\#g')"; }

mkdir -p "$demo"
rm -rf "$demo/shop" "$demo/browser" "$demo/frames"
mkdir -p "$demo/shop/startup" "$demo/shop/update" "$demo/module" "$demo/browser"

step "packing the sample editor module with the manifest producer"
cp "$bin/SampleEditor.dll" "$demo/module/"
printf 'Sample editor settings\r\nversion=1\r\n' > "$demo/module/SampleEditor.ini"
"$run" "$tools/manifest_producer.exe" --source "$(winpath "$demo/module")" --output "$(winpath "$demo/shop/update")" \
  --module SampleEditor.dll --package "editor.cab=SampleEditor.dll" --package "settings.zip=SampleEditor.ini"
ls -l "$demo/shop/update"

# The browser return starts this recorder (agent type "file"), which writes
# the URL it was given beside itself.
cp "$bin/cart_test_recorder.exe" "$demo/browser/browser.exe"
cat > "$demo/shop/startup/demo.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<startup>
  <install_path>OrvinDemo\\editor</install_path>
  <update_url ssl="">\$(SERVER)/shop/update/</update_url>
  <todo>new_work</todo>
  <editor_id>demo-editor</editor_id>
  <config_url>\$(SERVER)/shop/config</config_url>
  <storage_url>\$(SERVER)/shop/storage</storage_url>
  <rsid>R-1001</rsid>
  <user_id>demo-user</user_id>
  <count>1</count>
  <return_url>\$(SERVER)/shop/return</return_url>
  <return2_url>\$(SERVER)/shop/cart</return2_url>
  <setkey_url>\$(SERVER)/shop/launch</setkey_url>
  <agent type="file">$(winpath "$demo/browser/browser.exe")</agent>
  <app_title>Orvin demo</app_title>
  <internal_call id="theme">light</internal_call>
</startup>
XML

step "starting the local shop server"
rm -f "$demo/port"
"$run" "$tools/shop_server.exe" "$(winpath "$demo/shop")" --port-file "$(winpath "$demo/port")" --seconds 900 \
  > "$demo/server.log" 2>&1 &
server=$!
for _ in $(seq 600); do [ -s "$demo/port" ] && break; sleep 0.2; done
port=$(cat "$demo/port")
echo "listening on http://127.0.0.1:$port"
stop_server() { touch "$demo/shop/stop"; wait "$server" 2>/dev/null || true; }
trap stop_server EXIT

log_dir=$WINEPREFIX/drive_c/users/$(id -un)/AppData/LocalLow/OrvinLauncher/log
log=$log_dir/$(date +%Y%m%d).log
before=0
[ -f "$log" ] && before=$(stat -c %s "$log")
rm -f "$demo/browser/recorded.txt"

line="orvin://key=demo&svr=http://127.0.0.1:$port/shop/launch"
step "running $arch OrvinLauncher.exe \"$line\""
"$run" "$bin/OrvinLauncher.exe" "$line" &
launcher=$!

# Screenshots of the progress window and of the editor's window, taken when
# each appears on the demo's display.
progress_shot=""; editor_shot=""
display=${DISPLAY:-:$ORVIN_XVFB_DISPLAY}
while kill -0 "$launcher" 2>/dev/null; do
  tree=$(DISPLAY=$display xwininfo -root -tree 2>/dev/null || true)
  if [ -z "$progress_shot" ] && echo "$tree" | grep -q '"Orvin demo".*267x68'; then
    sleep 0.3
    DISPLAY=$display import -window root "$demo/progress-window.png" 2>/dev/null && progress_shot=$demo/progress-window.png
  fi
  if [ -z "$editor_shot" ] && echo "$tree" | grep -q '"Sample editor"'; then
    sleep 0.5
    DISPLAY=$display import -window root "$demo/editor-window.png" 2>/dev/null && editor_shot=$demo/editor-window.png
  fi
  sleep 0.2
done
wait "$launcher" || true
stop_server
trap - EXIT

step "report"
install=$WINEPREFIX/drive_c/users/$(id -un)/AppData/LocalLow/OrvinDemo/editor
echo "installed in $install:"
ls -l "$install" 2>/dev/null | sed 's/^/  /'
echo "requests the shop server saw:"
grep 'shop_server: [0-9]' "$demo/server.log" | sed 's/^shop_server: /  /'
echo "the cart service received:"
grep 'shop_server: .*/shop/cart' "$demo/server.log" | sed 's/^shop_server: /  /' || echo "  (nothing)"
echo "the browser return opened:"
if [ -f "$demo/browser/recorded.txt" ]; then
  iconv -f UTF-16LE -t UTF-8 "$demo/browser/recorded.txt" | sed 's/^/  /'; echo
else
  echo "  (nothing)"
fi
echo "screenshots:"
echo "  progress window: ${progress_shot:-(not captured)}"
echo "  editor window:   ${editor_shot:-(not captured)}"
echo "the day's log ($log), this run:"
tail -c +$((before + 1)) "$log" | { [ "$before" = 0 ] && cat || { printf '\xff\xfe'; cat; }; } | iconv -f UTF-16 -t UTF-8 \
  | sed 's/^/  /'
