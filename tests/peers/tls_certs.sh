#!/bin/bash
# Keys and certificates for the TLS peers, made once in DIR (kept when present):
#   rsa.key rsa.crt        server, RSA 2048, CN=localhost, self-signed
#   dsa.key dsa.crt        server, DSA 1024, CN=localhost, self-signed
#   dh1024.pem             Diffie-Hellman parameters
#   servers.crt            rsa.crt and dsa.crt, to trust both servers
#   ca.key ca.crt          a test CA
#   client.key client.crt  a client certificate issued by the CA (RSA 2048)
#   rsa.p12                the RSA server key and certificate for Java (password changeit)
#   trust.p12              the CA as a Java trust store (password changeit)
# usage: tls_certs.sh DIR
set -eu
dir=${1:?usage: tls_certs.sh DIR}
mkdir -p "$dir"
cd "$dir"
[ -f done ] && exit 0
# Several tests may ask at once: one makes the keys, the others wait for it.
exec 9>.lock
flock 9
[ -f done ] && exit 0
quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout rsa.key -out rsa.crt -days 3650 -subj /CN=localhost
quiet openssl dsaparam -out dsaparam.pem 1024
quiet openssl gendsa -out dsa.key dsaparam.pem
quiet openssl req -x509 -new -key dsa.key -out dsa.crt -days 3650 -subj /CN=localhost -sha1
quiet openssl dhparam -out dh1024.pem 1024
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 3650 -subj "/CN=Dictalo Test CA" \
  -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign,cRLSign
quiet openssl req -new -newkey rsa:2048 -nodes -keyout client.key -out client.csr -subj /CN=dictalo-client
quiet openssl x509 -req -in client.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out client.crt -days 3650
quiet openssl pkcs12 -export -in rsa.crt -inkey rsa.key -out rsa.p12 -passout pass:changeit
if command -v keytool >/dev/null; then
  quiet keytool -importcert -noprompt -alias ca -file ca.crt -keystore trust.p12 -storetype PKCS12 -storepass changeit
fi
cat rsa.crt dsa.crt >servers.crt
printf 'jdk.tls.disabledAlgorithms=\njdk.certpath.disabledAlgorithms=\njdk.tls.legacyAlgorithms=\n' >legacy.security
touch done
