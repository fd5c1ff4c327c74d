#!/bin/sh
# Generates development TLS files into the given folder: a CA (ca_cert.pem)
# and a server certificate for localhost and 127.0.0.1 signed by it
# (server_cert.pem, server_key.pem). Existing files are kept. ZENTAVO_CA_NAME
# names the CA (the Debian package names its local CA this way).
set -eu
dir="${1:?usage: gen-dev-certs.sh FOLDER}"
mkdir -p "$dir"
if [ -f "$dir/server_cert.pem" ] && [ -f "$dir/server_key.pem" ] && [ -f "$dir/ca_cert.pem" ]; then
  exit 0
fi
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=${ZENTAVO_CA_NAME:-Zentavo Development CA}" \
  -keyout "$tmp/ca_key.pem" -out "$tmp/ca_cert.pem" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
  -keyout "$tmp/server_key.pem" -out "$tmp/server.csr" 2>/dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > "$tmp/ext.cnf"
openssl x509 -req -in "$tmp/server.csr" -CA "$tmp/ca_cert.pem" -CAkey "$tmp/ca_key.pem" \
  -CAcreateserial -days 825 -extfile "$tmp/ext.cnf" -out "$tmp/server_cert.pem" 2>/dev/null
cp "$tmp/ca_cert.pem" "$tmp/server_cert.pem" "$tmp/server_key.pem" "$dir/"
chmod 600 "$dir/server_key.pem"
