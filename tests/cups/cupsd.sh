#!/usr/bin/env bash
# A private CUPS daemon for the printing tests: its own configuration and spool under DIR, a
# port on 127.0.0.1, and a CUPS-PDF queue as its default. The machine's printers are never
# touched; clients reach it through CUPS_SERVER=127.0.0.1:PORT.
#   cupsd.sh start DIR PORT | cupsd.sh stop DIR
set -euo pipefail
action=$1 dir=$(realpath -m "$2")

stop() {
  if [ -f "$dir/cupsd.pid" ]; then
    kill "$(cat "$dir/cupsd.pid")" 2>/dev/null || true
    rm -f "$dir/cupsd.pid"
  fi
}

if [ "$action" = stop ]; then
  stop
  exit 0
fi

port=$3
stop
if [ "$(id -u)" -ne 0 ]; then
  echo "cupsd.sh: the CUPS-PDF backend runs only under a root scheduler; print tests will skip"
  exit 0
fi
rm -rf "$dir"
mkdir -p "$dir"/{etc/ppd,spool/tmp,cache,state,log}
chmod 755 "$dir" "$dir"/etc "$dir"/etc/ppd
chown root:lp "$dir/spool" "$dir/spool/tmp" "$dir/cache" "$dir/state" 2>/dev/null || true
chmod 0770 "$dir/spool/tmp"
chmod 0710 "$dir/spool"

cat >"$dir/etc/cupsd.conf" <<CONF
Listen 127.0.0.1:$port
LogLevel warn
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat >"$dir/etc/cups-files.conf" <<CONF
ServerRoot $dir/etc
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
FileDevice No
CONF
# Detached from the caller's output, which ctest waits on.
/usr/sbin/cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" \
  </dev/null >"$dir/log/cupsd.out" 2>&1 &
echo $! >"$dir/cupsd.pid"
# The scheduler takes a moment to listen; the queue is added as soon as it answers.
ready=""
for _ in $(seq 150); do
  if lpadmin -h "127.0.0.1:$port" -p SorvexPDF -E -v cups-pdf:/ \
       -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null &&
     lpadmin -h "127.0.0.1:$port" -d SorvexPDF 2>/dev/null; then
    ready=yes
    break
  fi
  sleep 0.1
done
if [ -z "$ready" ]; then
  echo "cupsd.sh: the private scheduler did not take the queue; see $dir/log" >&2
  exit 1
fi
