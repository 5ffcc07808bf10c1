#!/usr/bin/env python3
"""kurvex-cli info --json prints valid UTF-8 JSON whatever bytes the names hold.

Names come in Windows-1252 from the simulator, in UTF-8 from newer tools, and
damaged in files whose bytes changed; each must reach a JSON reader as the text
the windows show. Usage: info_json_check.py PATH-TO-kurvex-cli
"""
import json
import os
import subprocess
import sys
import tempfile


def info(cli, path):
    out = subprocess.run([cli, "info", path, "--json"], capture_output=True, check=True).stdout
    # Raw control characters are not allowed inside JSON strings; strict
    # decoding refuses anything that is not UTF-8.
    return out, json.loads(out.decode("utf-8", errors="strict"))


def main():
    cli = sys.argv[1]
    with tempfile.TemporaryDirectory() as d:
        text = os.path.join(d, "names.txt")
        with open(text, "wb") as f:
            f.write(b"Time \xb5V I\xc3\x9c ctl\x01\x1f\x7f AAAAAA\r\n0 1 2 3 4\r\n1 5 6 7 8\r\n")
        # A binary file whose name bytes were damaged: a quote, a backslash, a
        # line end, 0xFF and a byte Windows-1252 leaves unassigned.
        damaged = os.path.join(d, "names.kfd7")
        subprocess.run([cli, "convert", text, "-o", damaged, "--format", "kfd7"], check=True)
        with open(damaged, "rb") as f:
            data = bytearray(f.read())
        at = data.index(b"AAAAAA")
        data[at:at + 6] = b'"\\\n\xff\x81/'
        with open(damaged, "wb") as f:
            f.write(data)

        common = ["Time", "\u00b5V", "I\u00dc", "ctl\x01\x1f\x7f"]
        for path, last in ((text, "AAAAAA"), (damaged, '"\\\n\u00ff\ufffd/')):
            raw, doc = info(cli, path)
            names = [v["name"] for v in doc["variables"]]
            if names != common + [last]:
                sys.exit(f"{path}: names {names!r}")
            if doc["rows"] != 2:
                sys.exit(f"{path}: rows {doc['rows']}")
            if any(b < 0x20 or b == 0x7F for b in raw.rstrip(b"\n")):
                sys.exit(f"{path}: unescaped control character in {raw!r}")
    print("ok")


if __name__ == "__main__":
    main()
