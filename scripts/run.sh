#!/bin/sh
# The README's run command: installs, builds, prepares build/app/ (development
# TLS files, an INI listening on 8443, the TEF library simulator) and runs the
# service in the foreground. Ctrl-C stops it.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
app="${BUILD_DIR:-$root/build}/app"
"$root/scripts/gen-dev-certs.sh" "$app/Certificado"
if [ ! -f "$app/SvcZentavoSiTef.ini" ]; then
  printf '[sitef]\r\nserver_port=8443\r\n' > "$app/SvcZentavoSiTef.ini"
fi
echo "Zentavo TEF Server: wss://127.0.0.1:8443 (logs in $app/Log)"
exec "$app/SvcZentavoSiTef"
