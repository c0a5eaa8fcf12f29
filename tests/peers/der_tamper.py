#!/usr/bin/env python3
"""Makes faulty X.509 certificates out of good ones, for the chain tests.

  der_tamper.py flip-signature IN.pem OUT.pem
      one bit of the signature changed: the certificate no longer verifies
  der_tamper.py bad-point IN.pem OUT.pem ISSUER.key DIGEST
      the last byte of the EC public key's point changed (so the point lies
      off its curve), then signed again by ISSUER.key: the certificate's own
      signature holds, its key is unusable
  der_tamper.py relabel-curve IN.pem OUT.pem ISSUER.key DIGEST OID
      the key's named curve replaced by OID (dotted) with the point left as it
      is, then signed again by ISSUER.key

DIGEST is an openssl digest name (sha256, sha384). Only the standard library
and the openssl command are used.
"""
import base64
import subprocess
import sys


def read_pem(path):
    lines = open(path).read().split("\n")
    start = lines.index("-----BEGIN CERTIFICATE-----")
    end = lines.index("-----END CERTIFICATE-----")
    return base64.b64decode("".join(lines[start + 1:end]))


def write_pem(path, der):
    text = base64.b64encode(der).decode()
    with open(path, "w") as out:
        out.write("-----BEGIN CERTIFICATE-----\n")
        for k in range(0, len(text), 64):
            out.write(text[k:k + 64] + "\n")
        out.write("-----END CERTIFICATE-----\n")


# A node is (tag, bytes) for a primitive value or (tag, [nodes]) for a constructed one.
def parse(data):
    nodes, pos = [], 0
    while pos < len(data):
        tag = data[pos]
        length = data[pos + 1]
        pos += 2
        if length & 0x80:
            count = length & 0x7F
            length = int.from_bytes(data[pos:pos + count], "big")
            pos += count
        value = data[pos:pos + length]
        pos += length
        nodes.append((tag, parse(value) if tag & 0x20 else value))
    return nodes


def encode_length(n):
    if n < 0x80:
        return bytes([n])
    raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(raw)]) + raw


def serialize(nodes):
    out = b""
    for tag, value in nodes:
        body = serialize(value) if isinstance(value, list) else value
        out += bytes([tag]) + encode_length(len(body)) + body
    return out


def encode_oid(dotted):
    parts = [int(p) for p in dotted.split(".")]
    out = bytes([parts[0] * 40 + parts[1]])
    for p in parts[2:]:
        chunk = [p & 0x7F]
        p >>= 7
        while p:
            chunk.insert(0, 0x80 | (p & 0x7F))
            p >>= 7
        out += bytes(chunk)
    return out


def public_key_info(tbs):
    # version [0] is present in every v3 certificate: SubjectPublicKeyInfo is the seventh field.
    return tbs[1][6] if tbs[1][0][0] == 0xA0 else tbs[1][5]


def resign(certificate, key, digest):
    tbs = serialize([certificate[0]])
    signed = subprocess.run(["openssl", "dgst", "-" + digest, "-sign", key], input=tbs,
                            capture_output=True, check=True).stdout
    certificate[2] = (0x03, b"\x00" + signed)


def main():
    action, source, target = sys.argv[1:4]
    certificate = parse(read_pem(source))[0][1]
    if action == "flip-signature":
        bits = bytearray(certificate[2][1])
        bits[len(bits) // 2] ^= 0x01
        certificate[2] = (0x03, bytes(bits))
    elif action in ("bad-point", "relabel-curve"):
        key, digest = sys.argv[4:6]
        spki = public_key_info(certificate[0])
        algorithm, point = spki[1]
        if action == "bad-point":
            raw = bytearray(point[1])
            raw[-1] ^= 0x01
            spki[1][1] = (0x03, bytes(raw))
        else:
            algorithm[1][1] = (0x06, encode_oid(sys.argv[6]))
        resign(certificate, key, digest)
    else:
        sys.exit("unknown action " + action)
    write_pem(target, serialize([(0x30, certificate)]))


main()
