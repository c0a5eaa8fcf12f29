#!/usr/bin/env python3
"""Prints what Python's mailbox and email modules read from a Maildir++ folder,
one message after another in file-name order, for tests to compare:

  message SUBDIR FLAGS
  header NAME                    (one line per header field, in order)
  to ADDRESS                     (one line per address of To)
  subject HEX                    (UTF-8 of the decoded subject, "-" when absent)
  text HEX                       (the decoded text/plain body, "-" when none)
  attachment TYPE HEX NAME       (one line per part with a file name)

usage: maildir_reader.py ROOT FOLDER [--headers]   (FOLDER "" is the root's own inbox)
"""
import email
import email.policy
import email.utils
import mailbox
import sys

root, folder = sys.argv[1], sys.argv[2]
box = mailbox.Maildir(root, create=False)
if folder:
    box = box.get_folder(folder)
for key in sorted(box.keys(), key=lambda k: box.get_message(k).get_subdir() + k):
    meta = box.get_message(key)
    msg = email.message_from_bytes(box.get_bytes(key), policy=email.policy.default)
    print("message", meta.get_subdir(), meta.get_flags() or "-")
    if "--headers" in sys.argv[3:]:
        for name in msg.keys():
            print("header", name)
    for _, address in email.utils.getaddresses([str(v) for v in msg.get_all("To", [])]):
        print("to", address)
    subject = msg["Subject"]
    print("subject", str(subject).encode().hex() if subject is not None else "-")
    text = None
    for part in msg.walk():
        if part.is_multipart():
            continue
        name = part.get_filename()
        if name:
            print("attachment", part.get_content_type(), part.get_payload(decode=True).hex(), name)
        elif text is None and part.get_content_type() == "text/plain":
            text = part.get_content()
    print("text", text.encode().hex() if text is not None else "-")
