#!/usr/bin/env python3
"""Merges the Authenticode signatures of several signed copies of one file into one PKCS #7
SignedData with several signers (in the order given), for tests of multi-signer files, and
embeds it in place of the signature of the first copy.
  LmMergeSignatures.py <first signed copy.exe> <out.exe> <first.der> <second.der> [...]
Every signature must sign the same content (same file, same digest algorithm)."""
import struct
import sys


def read_tlv(data, at):
    tag = data[at]
    length = data[at + 1]
    head = 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[at + 2:at + 2 + count], "big")
        head += count
    return tag, data[at + head:at + head + length], at + head + length


def children(value):
    items, at = [], 0
    while at < len(value):
        tag, inner, end = read_tlv(value, at)
        items.append((tag, inner, value[at:end]))
        at = end
    return items


def encode(tag, value):
    n = len(value)
    if n < 0x80:
        length = bytes([n])
    else:
        raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(raw)]) + raw
    return bytes([tag]) + length + value


def signed_data(der):
    tag, content_info, _ = read_tlv(der, 0)
    oid, explicit = children(content_info)[:2]
    _, sd, _ = read_tlv(explicit[1], 0)
    return oid[2], children(sd)


def embed(signed_copy, out, der):
    data = bytearray(open(signed_copy, "rb").read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    directory = pe + 24 + (96 if magic == 0x10B else 112) + 4 * 8  # IMAGE_DIRECTORY_ENTRY_SECURITY
    offset, size = struct.unpack_from("<II", data, directory)
    if offset == 0 or offset + size != len(data):
        sys.exit("the signature table of %s is not at its end" % signed_copy)
    # WIN_CERTIFICATE: its length counts the signature bytes only; the table is padded to 8 bytes.
    entry = struct.pack("<IHH", 8 + len(der), 0x0200, 2) + der  # WIN_CERT_TYPE_PKCS_SIGNED_DATA
    entry += b"\0" * (-len(entry) % 8)
    struct.pack_into("<II", data, directory, offset, len(entry))
    open(out, "wb").write(bytes(data[:offset]) + entry)


def main():
    signed_copy, out, inputs = sys.argv[1], sys.argv[2], sys.argv[3:]
    parsed = [signed_data(open(p, "rb").read()) for p in inputs]
    oid, first = parsed[0]
    version, digests, content = first[0], first[1], first[2]
    certificates, signers = [], []
    for _, fields in parsed:
        for tag, inner, whole in fields[3:]:
            if tag == 0xA0:
                certificates += [c[2] for c in children(inner) if c[2] not in certificates]
            elif tag == 0x31:
                signers += [s[2] for s in children(inner)]
    body = version[2] + digests[2] + content[2] + encode(0xA0, b"".join(certificates)) + encode(0x31, b"".join(signers))
    der = encode(0x30, oid + encode(0xA0, encode(0x30, body)))
    embed(signed_copy, out, der)


main()
