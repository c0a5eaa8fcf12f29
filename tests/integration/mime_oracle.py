#!/usr/bin/python3
"""Reads one message with Python's email package and prints what it found,
one item a line, every text as UTF-8 hex so that the caller compares bytes:

    subject HEX
    from|to|cc HEX(display name) HEX(address)     (one line per mailbox)
    text HEX                                      (each text/plain body)
    attachment HEX(file name) HEX(content type) HEX(bytes)
    defects N                                     (what the parser complained of)
    longest-line N                                (bytes, without CR LF)
    longest-encoded-line N                        (in base64 and quoted-printable bodies)

usage: mime_oracle.py FILE
"""
import email
import email.policy
import sys


def hx(text):
    if isinstance(text, str):
        text = text.encode("utf-8", "surrogateescape")
    return text.hex() or "-"


def main():
    raw = open(sys.argv[1], "rb").read()
    message = email.message_from_bytes(raw, policy=email.policy.default)
    out = []
    out.append("subject " + hx(str(message["subject"])))
    for field in ("from", "to", "cc"):
        header = message[field]
        if header is None:
            continue
        for address in header.addresses:
            out.append(f"{field} {hx(address.display_name)} {hx(address.addr_spec)}")
    defects = len(message.defects)
    longest_encoded = 0
    for part in message.walk():
        defects += len(part.defects)
        if part.is_multipart():
            continue
        encoding = (part.get("content-transfer-encoding") or "").strip().lower()
        if encoding in ("base64", "quoted-printable"):
            for line in part.get_payload(decode=False).splitlines():
                longest_encoded = max(longest_encoded, len(line))
        if part.get_content_disposition() == "attachment":
            out.append(f"attachment {hx(part.get_filename() or '')} {hx(part.get_content_type())} "
                       f"{hx(part.get_payload(decode=True))}")
        elif part.get_content_type() == "text/plain":
            out.append("text " + hx(part.get_content()))
    out.append(f"defects {defects}")
    out.append("longest-line " + str(max(len(line) for line in raw.split(b"\r\n"))))
    out.append(f"longest-encoded-line {longest_encoded}")
    print("\n".join(out))


if __name__ == "__main__":
    main()
