#!/usr/bin/env bash
# The launcher's main job end to end, on this machine: packs the sample
# editor module with the manifest producer, serves it from the local shop
# server on 127.0.0.1, runs OrvinLauncher.exe under Wine with a protocol
# command line, and reports what happened. A second run finds everything
# current. DEMO_WEB=nginx serves the shop from nginx over HTTPS instead, as a
# shop publishes (testing/web_server.sh: a throwaway certificate on loopback).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
arch=${DEMO_ARCH:-$(bash "$top/scripts/demo-arch.sh")}
bin=$top/build/$arch/bin
tools=$top/build/$arch/bin
demo=$top/build/demo
run="$top/scripts/wine-run.sh"
export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix-$arch}
[ -n "${DISPLAY:-}" ] || export ORVIN_XVFB_DISPLAY=${ORVIN_XVFB_DISPLAY:-86}

web=${DEMO_WEB:-shop_server}
if [ "$web" = nginx ] && [ -z "${ORVIN_WEB_DIR:-}" ]; then
  exec bash "$top/testing/web_server.sh" "$top/build/demo-web" bash "$0" "$@"
fi
if [ "$web" = nginx ]; then
  shop=$ORVIN_WEB_DIR/root update=$ORVIN_WEB_DIR/root/shop/update ssl_level=lv2
else
  shop=$demo/shop update=$demo/shop/update ssl_level=
fi

step() { printf '\n== %s\n' "$*"; }
winpath() { echo "Z:$(echo "$1" | sed 's#/#\\#g')"; }

mkdir -p "$demo"
rm -rf "$demo/shop" "$demo/browser" "$demo/frames"
mkdir -p "$shop/startup" "$update" "$demo/module" "$demo/browser"

step "packing the sample editor module with the manifest producer"
cp "$bin/SampleEditor.dll" "$demo/module/"
printf 'Sample editor settings\r\nversion=1\r\n' > "$demo/module/SampleEditor.ini"
"$run" "$tools/manifest_producer.exe" --source "$(winpath "$demo/module")" --output "$(winpath "$update")" \
  --module SampleEditor.dll --package "editor.cab=SampleEditor.dll" --package "settings.zip=SampleEditor.ini"
ls -l "$update"

# The browser return starts this recorder (agent type "file"), which writes
# the URL it was given beside itself.
cp "$bin/cart_test_recorder.exe" "$demo/browser/browser.exe"
cat > "$shop/startup/demo.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<startup>
  <install_path>OrvinDemo\\editor</install_path>
  <update_url ssl="$ssl_level">\$(SERVER)/shop/update/</update_url>
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

if [ "$web" = nginx ]; then
  port=$(sed -n 's/^https=\([0-9]*\).*/\1/p' "$ORVIN_WEB_DIR/ports.ini")
  base=https://127.0.0.1:$port
  step "the shop is served by nginx on $base"
  sed -i "s#\$(SERVER)#$base#g" "$shop/startup/demo.xml"
  printf '<?xml version="1.0" encoding="utf-8"?>\r\n<response><result code="0000"/></response>\r\n' > "$shop/cart.xml"
  stop_server() { :; }
else
  step "starting the local shop server"
  rm -f "$demo/port"
  # The packages come a little slowly, so that the progress window can be
  # seen (and photographed) while it shows the install.
  "$run" "$tools/shop_server.exe" "$(winpath "$demo/shop")" --port-file "$(winpath "$demo/port")" --seconds 900 \
    --package-delay 1500 \
    > "$demo/server.log" 2>&1 &
  server=$!
  for _ in $(seq 600); do [ -s "$demo/port" ] && break; sleep 0.2; done
  port=$(cat "$demo/port")
  base=http://127.0.0.1:$port
  echo "listening on $base"
  stop_server() { touch "$demo/shop/stop"; wait "$server" 2>/dev/null || true; }
fi
trap stop_server EXIT

log_dir=$WINEPREFIX/drive_c/users/$(id -un)/AppData/LocalLow/OrvinLauncher/log
log=$log_dir/$(date +%Y%m%d).log
before=0
[ -f "$log" ] && before=$(stat -c %s "$log")
rm -f "$demo/browser/recorded.txt"

line="orvin://key=demo&svr=$base/shop/launch"
step "running $arch OrvinLauncher.exe \"$line\""
"$run" "$bin/OrvinLauncher.exe" "$line" &
launcher=$!

# Screenshots of the progress window while it shows the install and of the
# editor's window, each cropped to its window, taken when each appears on the
# demo's display.
progress_shot=""; editor_shot=""
display=${DISPLAY:-:$ORVIN_XVFB_DISPLAY}
shoot() {  # window line of xwininfo's tree, output file
  local id
  id=$(echo "$1" | awk '{print $1}')
  [ -n "$id" ] && DISPLAY=$display import -window "$id" "$2" 2>/dev/null
}
rm -f "$demo/progress-window.png" "$demo/editor-window.png" "$demo/progress-first.png"
while kill -0 "$launcher" 2>/dev/null; do
  tree=$(DISPLAY=$display xwininfo -root -tree 2>/dev/null || true)
  if [ -z "$progress_shot" ] && [ -z "$editor_shot" ]; then
    window=$(echo "$tree" | grep '"Orvin demo".*267x68' | head -1 || true)
    # A first picture as soon as the window shows (all a run with nothing to
    # install will give); the bar shows once the last package is on its way
    # (a first step of several waits for the next one before it is drawn).
    if [ -n "$window" ] && [ ! -f "$demo/progress-first.png" ]; then
      shoot "$window" "$demo/progress-first.png" || true
    fi
    if [ -n "$window" ] && grep -qs 'shop/update/settings.zip' "$demo/server.log" 2>/dev/null; then
      sleep 0.4
      shoot "$window" "$demo/progress-window.png" && progress_shot=$demo/progress-window.png
    elif [ -n "$window" ] && [ "$web" = nginx ] && grep -qs 'settings.zip' "$ORVIN_WEB_DIR/access.log" 2>/dev/null; then
      shoot "$window" "$demo/progress-window.png" && progress_shot=$demo/progress-window.png
    fi
  fi
  if [ -z "$editor_shot" ]; then
    window=$(echo "$tree" | grep '"Sample editor"' | head -1 || true)
    if [ -n "$window" ]; then
      sleep 0.5
      shoot "$window" "$demo/editor-window.png" && editor_shot=$demo/editor-window.png
    fi
  fi
  sleep 0.1
done
wait "$launcher" || true
if [ -z "$progress_shot" ] && [ -f "$demo/progress-first.png" ]; then
  mv "$demo/progress-first.png" "$demo/progress-window.png" && progress_shot=$demo/progress-window.png
fi
rm -f "$demo/progress-first.png"
stop_server
trap - EXIT

step "report"
install=$WINEPREFIX/drive_c/users/$(id -un)/AppData/LocalLow/OrvinDemo/editor
echo "installed in $install:"
ls -l "$install" 2>/dev/null | sed 's/^/  /'
if [ "$web" = nginx ]; then
  echo "requests nginx saw (port scheme protocol request status):"
  sed 's/^/  /' "$ORVIN_WEB_DIR/access.log"
  echo "the cart service received:"
  grep '/shop/cart' "$ORVIN_WEB_DIR/access.log" | sed 's/^/  /' || echo "  (nothing)"
else
  echo "requests the shop server saw:"
  grep 'shop_server: [0-9]' "$demo/server.log" | sed 's/^shop_server: /  /'
  echo "the cart service received:"
  grep 'shop_server: .*/shop/cart' "$demo/server.log" | sed 's/^shop_server: /  /' || echo "  (nothing)"
fi
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
