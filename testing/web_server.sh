#!/usr/bin/env bash
# Runs a command beside a real web server: nginx on 127.0.0.1, with
# certificates made for this run by a throwaway authority. The command finds
# the server's folder in ORVIN_WEB (a Windows path, for programs under Wine;
# ORVIN_WEB_DIR is the same folder as a Linux path):
#   ports.ini     [ports] https, http, other_name, expired, rejecting
#   ca.der        the throwaway authority
#   root\         the document root (see below)
#   access.log    one line per request: port scheme protocol "request" status
# nginx is stopped when the command ends, however it ends, and the command's
# exit status is this script's.
#
#   web_server.sh FOLDER COMMAND [ARGS...]
#
# Served on every port but "rejecting" (whose TLS handshakes are refused):
#   /shop/launch?key=K...   root/startup/K.xml
#   /shop/cart?...          root/cart.xml
#   anything else           the file below root (e.g. root/shop/update/)
#   /shop/down              (on "https") a redirect to http on "http"
# "https" serves the certificate for 127.0.0.1 and also answers plain HTTP
# (one port for both schemes, as a startup document's ssl="lv1" wants);
# "http" is plain; "other_name" has a certificate for shop.example, "expired"
# one whose validity has passed.
set -euo pipefail
# The command gets the caller's locale; this script's own tools need none.
caller_lc_all=${LC_ALL-}
export LC_ALL=C
dir=$(mkdir -p "$1" && cd "$1" && pwd)
shift
rm -rf "$dir"/*
mkdir -p "$dir/root/startup" "$dir/root/shop/update" "$dir/certs" "$dir/tmp"
certs=$dir/certs

# The authority and three server certificates. `openssl ca` is used for its
# -startdate/-enddate, which make the expired one without a faked clock.
quiet() { "$@" >"$dir/openssl.log" 2>&1 || { cat "$dir/openssl.log" >&2; exit 1; }; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -keyout "$certs/ca.key" -out "$certs/ca.pem" \
  -subj "/CN=Orvin throwaway test authority $(date +%s)" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
openssl x509 -in "$certs/ca.pem" -outform DER -out "$dir/ca.der"
: > "$certs/index.txt"
echo 1000 > "$certs/serial"
echo 1000 > "$certs/crlnumber"
cat > "$certs/ca.cnf" <<EOF
[ ca ]
default_ca = throwaway
[ throwaway ]
database = $certs/index.txt
new_certs_dir = $certs
serial = $certs/serial
default_md = sha256
default_days = 2
crlnumber = $certs/crlnumber
default_crl_days = 2
policy = any_name
copy_extensions = copy
unique_subject = no
x509_extensions = server
[ any_name ]
commonName = supplied
[ server ]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
crlDistributionPoints = URI:http://127.0.0.1/ca.crl
EOF
quiet openssl genrsa -out "$certs/server.key" 2048
server_cert() {  # NAME CN SAN [openssl ca dates...]
  local name=$1 cn=$2 san=$3
  shift 3
  quiet openssl req -new -key "$certs/server.key" -subj "/CN=$cn" -addext "subjectAltName=$san" -out "$certs/$name.csr"
  quiet openssl ca -batch -notext -config "$certs/ca.cnf" -cert "$certs/ca.pem" -keyfile "$certs/ca.key" \
    -in "$certs/$name.csr" -out "$certs/$name.pem" "$@"
}
shop_locations="
    location = /shop/launch { try_files /startup/\$arg_key.xml =404; }
    location = /shop/cart { try_files /cart.xml =404; }"

start_nginx() {
  read -r https http other expired rejecting < <(python3 -c '
import socket
s = [socket.socket() for _ in range(5)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
  # Each server certificate names where the authority's revocation list is
  # (the plain port): a client that checks revocation fetches it.
  sed -i "s#^crlDistributionPoints.*#crlDistributionPoints = URI:http://127.0.0.1:$http/ca.crl#" "$certs/ca.cnf"
  # The address also as a DNS name: Wine matches a host only against DNS
  # names, where Windows and other clients take the IP entry.
  server_cert loopback 127.0.0.1 IP:127.0.0.1,DNS:127.0.0.1
  server_cert other_name shop.example DNS:shop.example
  server_cert expired 127.0.0.1 IP:127.0.0.1,DNS:127.0.0.1 -startdate 20200101000000Z -enddate 20200201000000Z
  quiet openssl ca -gencrl -config "$certs/ca.cnf" -cert "$certs/ca.pem" -keyfile "$certs/ca.key" -out "$certs/ca.crl"
  openssl crl -in "$certs/ca.crl" -outform DER -out "$dir/root/ca.crl"
  # Where 32-bit Wine runs under qemu, WinInet must not keep a connection
  # idle: it watches idle connections with a thread of its own, and threads
  # bring emulated 32-bit Wine down. nginx then closes each one after its
  # answer.
  keepalive=75
  grep -qs qemu-i386 /proc/sys/fs/binfmt_misc/*i386* && keepalive=0
  cat > "$dir/nginx.conf" <<EOF
daemon off;
master_process off;
pid $dir/nginx.pid;
error_log $dir/error.log info;
events { worker_connections 64; }
http {
  log_format orvin '\$server_port \$scheme \$ssl_protocol "\$request" \$status';
  access_log $dir/access.log orvin;
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi;
  scgi_temp_path $dir/tmp/scgi;
  types { text/xml xml; application/pkix-crl crl; }
  default_type application/octet-stream;
  root $dir/root;
  keepalive_timeout $keepalive;
  ssl_protocols TLSv1.2 TLSv1.3;
  ssl_certificate_key $certs/server.key;
  server {
    listen 127.0.0.1:$https ssl;
    ssl_certificate $certs/loopback.pem;
    # A plain request on this port is served too, not refused with 497.
    error_page 497 = \$request_uri;$shop_locations
    location = /shop/down { return 302 http://127.0.0.1:$http/probe.txt; }
  }
  server {
    listen 127.0.0.1:$http;$shop_locations
  }
  server {
    listen 127.0.0.1:$other ssl;
    ssl_certificate $certs/other_name.pem;$shop_locations
  }
  server {
    listen 127.0.0.1:$expired ssl;
    ssl_certificate $certs/expired.pem;$shop_locations
  }
  server {
    listen 127.0.0.1:$rejecting ssl;
    ssl_reject_handshake on;
  }
}
EOF
  nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" >>"$dir/nginx.out" 2>&1 &
  nginx_pid=$!
  for _ in $(seq 100); do
    kill -0 "$nginx_pid" 2>/dev/null || return 1
    (exec 3<>"/dev/tcp/127.0.0.1/$rejecting") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

nginx_pid=
watcher=
stop() {
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null; fi
  return 0
}
command_pid=
trap stop EXIT
# The command runs in the background so that a signal is handled at once,
# not after the command ends.
trap '[ -n "$command_pid" ] && kill "$command_pid" 2>/dev/null; exit 143' TERM INT HUP

# The ports are free when chosen but could be taken before nginx binds them.
started=0
for _ in 1 2 3; do
  if start_nginx; then started=1; break; fi
  stop; nginx_pid=
done
if [ $started = 0 ]; then
  echo "web_server: nginx did not start" >&2
  cat "$dir/nginx.out" "$dir/error.log" >&2 2>/dev/null
  exit 1
fi
# Should this script be killed outright, nginx still goes.
(while kill -0 $$ 2>/dev/null; do sleep 2; done; kill "$nginx_pid" 2>/dev/null) &
watcher=$!

printf '[ports]\r\nhttps=%s\r\nhttp=%s\r\nother_name=%s\r\nexpired=%s\r\nrejecting=%s\r\n' \
  "$https" "$http" "$other" "$expired" "$rejecting" > "$dir/ports.ini"
ORVIN_WEB="Z:$(echo "$dir" | sed 's#/#\\#g')"
ORVIN_WEB_DIR=$dir
export ORVIN_WEB ORVIN_WEB_DIR
LC_ALL=$caller_lc_all "$@" &
command_pid=$!
rc=0
wait "$command_pid" || rc=$?
exit $rc
