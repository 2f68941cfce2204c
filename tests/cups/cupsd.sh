#!/usr/bin/env bash
# A private CUPS daemon for the printing tests: its own configuration, spool and socket under
# DIR, and as its default a queue whose printer files each job as DIR/pdf/job-N.pdf. The
# machine's printers and people's folders are never touched; clients reach it through
# CUPS_SERVER=DIR/cupsd.sock.
#   cupsd.sh start DIR | cupsd.sh stop DIR
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

here=$(dirname "$(realpath "$0")")
socket=$dir/cupsd.sock
stop
if [ "$(id -u)" -ne 0 ]; then
  echo "cupsd.sh: the scheduler runs its filters only as root; print tests will skip"
  exit 0
fi
if [ ${#socket} -ge 108 ]; then
  echo "cupsd.sh: $socket is too long a path for a socket; print tests will skip"
  exit 0
fi
rm -rf "$dir"
mkdir -p "$dir"/{etc/ppd,spool/tmp,cache,state,log,bin/backend,pdf}
chmod 755 "$dir" "$dir"/etc "$dir"/etc/ppd "$dir"/bin "$dir"/bin/backend
# The machine's filters, and the test printer as the only backend.
for part in cgi-bin daemon driver filter monitor notifier; do
  ln -s "/usr/lib/cups/$part" "$dir/bin/$part"
done
install -m 0700 "$here/sorvextest-backend" "$dir/bin/backend/sorvextest"
chown root:lp "$dir/spool" "$dir/spool/tmp" "$dir/cache" "$dir/state" 2>/dev/null || true
chmod 0770 "$dir/spool/tmp"
chmod 0710 "$dir/spool"

cat >"$dir/etc/cupsd.conf" <<CONF
Listen $socket
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
ServerBin $dir/bin
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
  if lpadmin -h "$socket" -p SorvexTest -E -v "sorvextest:$dir/pdf" \
       -P "$here/sorvextest.ppd" 2>/dev/null &&
     lpadmin -h "$socket" -d SorvexTest 2>/dev/null; then
    ready=yes
    break
  fi
  sleep 0.1
done
if [ -z "$ready" ]; then
  echo "cupsd.sh: the private scheduler did not take the queue; see $dir/log" >&2
  exit 1
fi
