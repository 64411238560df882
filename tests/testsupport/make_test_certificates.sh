#!/bin/sh
# Makes the certificates the TLS tests use, in the folder given (created when missing):
#   ca.pem                  a test authority (its key: ca.key)
#   server.pem, server.key  for localhost and 127.0.0.1, signed by the authority
#   wrong-name.pem/.key     for other.example only, signed by the authority
#   expired.pem/.key        for localhost and 127.0.0.1, valid for one day in 2020
#   self-signed.pem/.key    for localhost and 127.0.0.1, signed by itself
#   self-signed-2.pem/.key  the same with another key
#   *-chain.pem             certificate and key in one file, as stunnel takes them
#   self-signed*.fingerprint  SHA-256 of the certificate, "AB:CD:..."
#   self-signed*.pin          SHA-256 of its public key, "sha256//<Base64>"
#   ca-dir/                 the authority in a hashed folder, as SSL_CERT_DIR takes it
# EC keys: they are made in a few milliseconds.
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"

key() {
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null
}

names="subjectAltName=DNS:localhost,IP:127.0.0.1"

key ca.key
openssl req -x509 -new -key ca.key -sha256 -days 3 -subj "/CN=Wavenard Test Authority" \
  -addext "basicConstraints=critical,CA:true" -addext "keyUsage=critical,keyCertSign,cRLSign" -out ca.pem

# signed NAME SUBJECT-NAMES [openssl ca date options...]
signed() {
  base=$1
  san=$2
  shift 2
  key "$base.key"
  openssl req -new -key "$base.key" -subj "/CN=$base.test" -out "$base.csr"
  printf '%s\nbasicConstraints=CA:false\nextendedKeyUsage=serverAuth\n' "$san" >"$base.ext"
  if [ $# -eq 0 ]; then
    openssl x509 -req -in "$base.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -sha256 -days 2 \
      -extfile "$base.ext" -out "$base.pem" 2>/dev/null
  else
    # Only "openssl ca" takes dates in the past.
    : >index.txt
    echo 1000 >serial
    cat >ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
CNF
    openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -in "$base.csr" \
      -extfile "$base.ext" -out "$base.pem" "$@" 2>/dev/null
  fi
  rm -f "$base.csr" "$base.ext"
}

signed server "$names"
signed wrong-name "subjectAltName=DNS:other.example"
signed expired "$names" -startdate 20200101000000Z -enddate 20200102000000Z

for base in self-signed self-signed-2; do
  key "$base.key"
  openssl req -x509 -new -key "$base.key" -sha256 -days 2 -subj "/CN=localhost/O=Wavenard Test Station" \
    -addext "$names" -out "$base.pem"
  openssl x509 -in "$base.pem" -noout -fingerprint -sha256 | sed 's/^.*=//' >"$base.fingerprint"
  printf 'sha256//%s\n' "$(openssl x509 -in "$base.pem" -noout -pubkey | openssl pkey -pubin -outform der |
    openssl dgst -sha256 -binary | openssl base64 -A)" >"$base.pin"
done

mkdir -p ca-dir
cp ca.pem ca-dir/
openssl rehash ca-dir

for base in server wrong-name expired self-signed self-signed-2; do
  cat "$base.pem" "$base.key" >"$base-chain.pem"
done
