#!/usr/bin/python3
"""Reads back a stored message with Python's email package and prints what it says, as JSON.

Texts come out decoded and in Unicode normal form C (some charsets carry accents as
combining marks), so the tests can compare them with what was meant.
"""
import email
import email.header
import email.utils
import hashlib
import json
import re
import sys
import unicodedata

def codec(charset):
    return (charset or "ascii").lower()


def nfc(text):
    return unicodedata.normalize("NFC", text)


def unfold(value):
    return re.sub(r"\r?\n(?=[ \t])", "", str(value))


def decode_words(value):
    out = ""
    for chunk, charset in email.header.decode_header(unfold(value)):
        out += chunk if isinstance(chunk, str) else chunk.decode(codec(charset))
    return nfc(out)


def addresses(msg, name):
    values = msg.get_all(name) or []
    return [{"name": decode_words(n), "address": a}
            for n, a in email.utils.getaddresses([unfold(v) for v in values])]


def describe(path):
    raw = open(path, "rb").read()
    msg = email.message_from_bytes(raw)
    lines = raw.split(b"\r\n")
    info = {
        "bare_line_feeds": sum(line.count(b"\n") + line.count(b"\r") for line in lines),
        "longest_line": max(len(line) for line in lines),
        "defects": [type(d).__name__ for d in msg.defects],
        "subject": decode_words(msg.get("Subject", "")),
        "from": addresses(msg, "From"),
        "reply_to": addresses(msg, "Reply-To"),
        "to": addresses(msg, "To"),
        "message_id": msg.get("Message-ID", ""),
        "attachments": [],
        "inline": [],
        "structure": [part.get_content_type() for part in msg.walk()],
    }
    for part in msg.walk():
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True)
        if part.get("Content-ID"):
            info["inline"].append({
                "content_id": part.get("Content-ID").strip().strip("<>"),
                "filename": nfc(part.get_filename() or ""),
                "disposition": part.get_content_disposition() or "",
                "sha256": hashlib.sha256(payload).hexdigest(),
            })
        elif part.get_content_disposition() == "attachment":
            info["attachments"].append({
                "filename": nfc(part.get_filename() or ""),
                "sha256": hashlib.sha256(payload).hexdigest(),
            })
        elif "body" not in info:
            info["charset"] = part.get_content_charset() or ""
            info["transfer_encoding"] = part.get("Content-Transfer-Encoding", "")
            info["body"] = nfc(payload.decode(codec(info["charset"])))
    return info


if __name__ == "__main__":
    json.dump([describe(p) for p in sys.argv[1:]], sys.stdout, ensure_ascii=True)
