#!/bin/bash
# Certificates the way today's mail providers have them, made once in DIR
# (kept when present) for the TLS 1.2 mail server tests:
#   ec-root.crt/.key       ECDSA P-384 root CA (SHA-384)
#   ec-inter.crt/.key      ECDSA P-256 intermediate CA under ec-root
#   ec-leaf.crt/.key       ECDSA P-256 server certificate for localhost and
#                          127.0.0.1 under ec-inter
#   ec-chain.crt           what the server sends: ec-leaf, then ec-inter
#   rsa-root.crt/.key      RSA 2048 root CA
#   rsa-leaf.crt/.key      RSA 2048 server certificate under rsa-root
#   mixed-inter.crt/.key   ECDSA P-256 intermediate under rsa-root
#   mixed-chain.crt        an ECDSA P-256 leaf under mixed-inter, and mixed-inter
#   badsig-chain.crt       ec-leaf, and ec-inter with one bit of its signature changed
#   badpoint-chain.crt     a leaf, and an intermediate re-signed by ec-root whose
#                          key point lies off P-256
#   relabel-chain.crt      a leaf, and an intermediate re-signed by ec-root whose
#                          P-256 point claims to be on P-384
#   brainpool-chain.crt    a leaf, and an intermediate on brainpoolP256r1 under ec-root
#   ec.p12, rsa.p12        the two server keys with their chains for Java (password changeit)
# usage: tls12_mail_certs.sh DIR
set -eu
dir=${1:?usage: tls12_mail_certs.sh DIR}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$dir"
cd "$dir"
[ -f tls12-mail.done ] && exit 0
# Several tests may ask at once: one makes the keys, the others wait for it.
exec 9>.tls12-mail.lock
flock 9
[ -f tls12-mail.done ] && exit 0
quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; }

printf 'basicConstraints=critical,CA:true,pathlen:0\nkeyUsage=critical,keyCertSign,cRLSign\n' >inter.ext
printf 'basicConstraints=CA:false\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n' >leaf.ext

# root NAME KEYSPEC DIGEST SUBJECT
root() {
  quiet openssl req -x509 -newkey "$2" -nodes -keyout "$1.key" -out "$1.crt" -days 3650 -"$3" -subj "$4" \
    -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign,cRLSign
}
# issue NAME CURVE ISSUER DIGEST SUBJECT EXTFILE
issue() {
  if [ "$2" = rsa ]; then
    quiet openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$5"
  else
    quiet openssl req -new -newkey ec -pkeyopt "ec_paramgen_curve:$2" -nodes -keyout "$1.key" -out "$1.csr" -subj "$5"
  fi
  quiet openssl x509 -req -in "$1.csr" -CA "$3.crt" -CAkey "$3.key" -CAcreateserial -out "$1.crt" -days 3650 \
    -"$4" -extfile "$6"
}

root ec-root ec:<(openssl ecparam -name secp384r1) sha384 "/O=Dictalo Test/CN=Dictalo Test ECDSA Root"
issue ec-inter P-256 ec-root sha384 "/O=Dictalo Test/CN=Dictalo Test ECDSA Intermediate" inter.ext
issue ec-leaf P-256 ec-inter sha256 "/CN=localhost" leaf.ext
cat ec-leaf.crt ec-inter.crt >ec-chain.crt

root rsa-root rsa:2048 sha256 "/O=Dictalo Test/CN=Dictalo Test RSA Root"
issue rsa-leaf rsa rsa-root sha256 "/CN=localhost" leaf.ext

issue mixed-inter P-256 rsa-root sha256 "/O=Dictalo Test/CN=Dictalo Test Mixed Intermediate" inter.ext
issue mixed-leaf P-256 mixed-inter sha256 "/CN=localhost" leaf.ext
cat mixed-leaf.crt mixed-inter.crt >mixed-chain.crt

quiet /usr/bin/python3 "$here/der_tamper.py" flip-signature ec-inter.crt badsig-inter.crt
cat ec-leaf.crt badsig-inter.crt >badsig-chain.crt
quiet /usr/bin/python3 "$here/der_tamper.py" bad-point ec-inter.crt badpoint-inter.crt ec-root.key sha384
cat ec-leaf.crt badpoint-inter.crt >badpoint-chain.crt
quiet /usr/bin/python3 "$here/der_tamper.py" relabel-curve ec-inter.crt relabel-inter.crt ec-root.key sha384 1.3.132.0.34
cat ec-leaf.crt relabel-inter.crt >relabel-chain.crt

issue brainpool-inter brainpoolP256r1 ec-root sha384 "/O=Dictalo Test/CN=Dictalo Test Brainpool Intermediate" inter.ext
issue brainpool-leaf P-256 brainpool-inter sha256 "/CN=localhost" leaf.ext
cat brainpool-leaf.crt brainpool-inter.crt >brainpool-chain.crt

quiet openssl pkcs12 -export -in ec-leaf.crt -inkey ec-leaf.key -certfile ec-inter.crt -name ec -out ec.p12 \
  -passout pass:changeit
quiet openssl pkcs12 -export -in rsa-leaf.crt -inkey rsa-leaf.key -name rsa -out rsa.p12 -passout pass:changeit
rm -f ./*.csr
touch tls12-mail.done
