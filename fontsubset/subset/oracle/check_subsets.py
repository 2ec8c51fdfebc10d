#!/usr/bin/python3
"""Second opinion on subsets: fontTools and the OpenType Sanitizer read each
subset and compare it with its original.

Usage: check_subsets.py MANIFEST.json
The manifest lists {"original", "subset", "codes"} objects. Exit status 0 when
every subset passes, 1 otherwise; each failure is printed.
"""
import json
import struct
import subprocess
import sys

from fontTools.ttLib import TTFont

LISTED = ["OS/2", "cmap", "cvt ", "fpgm", "glyf", "head", "hhea", "hmtx", "loca",
          "maxp", "name", "post", "prep"]
ALWAYS = {"glyf", "loca", "name", "cmap", "post"}
OTS = "/usr/bin/ots-sanitize"


def whole_sum(data):
    data = data + b"\0" * (-len(data) % 4)
    return sum(struct.unpack(">%dI" % (len(data) // 4), data)) & 0xFFFFFFFF


def raw_glyphs(font):
    """Each glyph's bytes, read straight from loca and glyf."""
    offsets = font["loca"].locations
    glyf = font.reader["glyf"]
    return [glyf[offsets[i]:offsets[i + 1]] for i in range(len(offsets) - 1)]


def windows_map(font):
    for table in font["cmap"].tables:
        if table.platformID == 3:
            return table
    raise AssertionError("no Windows cmap")


def closure(font, gids):
    glyf = font["glyf"]
    order = font.getGlyphOrder()
    kept = set()
    pending = list(gids)
    while pending:
        gid = pending.pop()
        if gid in kept:
            continue
        kept.add(gid)
        glyph = glyf[order[gid]]
        if glyph.isComposite():
            pending.extend(font.getGlyphID(c.glyphName) for c in glyph.components)
    return kept


def check(case):
    problems = []
    original = TTFont(case["original"])
    with open(case["subset"], "rb") as f:
        data = f.read()
    try:
        subset = TTFont(case["subset"], checkChecksums=2)
    except Exception as error:  # a wrong table checksum raises here
        return ["fontTools refuses it: %s" % error]

    count = struct.unpack(">H", data[4:6])[0]
    for i in range(count):
        tag, stored, offset, length = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
        table = bytearray(data[offset:offset + length])
        if tag == b"head":
            table[8:12] = b"\0\0\0\0"
        if whole_sum(bytes(table)) != stored:
            problems.append("checksum of %s is wrong" % tag.decode("latin-1"))
    if whole_sum(data) != 0xB1B0AFBA:
        problems.append("whole-font sum is 0x%08X" % whole_sum(data))
    tags = sorted(subset.reader.keys())
    expected = sorted(t for t in LISTED if t in ALWAYS or t in original.reader.keys())
    if tags != expected:
        problems.append("tables %s, expected %s" % (tags, expected))

    source = windows_map(original)
    used = {}
    for code in case["codes"]:
        name = source.cmap.get(code)
        if name is not None and original.getGlyphID(name) != 0:
            used[code] = original.getGlyphID(name)
    target = windows_map(subset)
    if target.format != 4 or target.platEncID != source.platEncID:
        problems.append("Windows map format %d encoding %d" % (target.format, target.platEncID))
    got = {c: subset.getGlyphID(n) for c, n in target.cmap.items() if subset.getGlyphID(n) != 0}
    if got != used:
        problems.append("Windows map differs: %s" % sorted(set(got.items()) ^ set(used.items()))[:10])
    mac = subset["cmap"].getcmap(1, 0)
    mac_got = {c: subset.getGlyphID(n) for c, n in mac.cmap.items() if subset.getGlyphID(n) != 0}
    mac_want = {c: g for c, g in used.items() if c < 255 and g < 255}
    if mac is None or mac.format != 0 or mac_got != mac_want:
        problems.append("Macintosh map differs")

    kept = closure(original, set(used.values()) | {0})
    before = raw_glyphs(original)
    after = raw_glyphs(subset)
    if len(before) != len(after):
        problems.append("glyph count %d, expected %d" % (len(after), len(before)))
    else:
        if not any(before[g] for g in kept):
            first = next((g for g in range(1, len(before)) if before[g]), None)
            if first is not None:
                kept |= closure(original, {first})
        for gid, (a, b) in enumerate(zip(before, after)):
            if gid in kept and a != b:
                problems.append("glyph %d changed" % gid)
            if gid not in kept and b:
                problems.append("glyph %d should be empty" % gid)

    if subset["post"].formatType != 3.0:
        problems.append("post format %s" % subset["post"].formatType)
    names = subset["name"].names
    for record in names:
        if record.nameID > 7 or record.nameID == 5:
            problems.append("name id %d kept" % record.nameID)
        if not (record.platformID == 1 or (record.platformID == 3 and record.langID == 0x409)):
            problems.append("name record of platform %d language 0x%x" % (record.platformID, record.langID))
    for platform in (1, 3):
        full = [r.string for r in names if r.platformID == platform and r.nameID == 4]
        unique = [r.string for r in names if r.platformID == platform and r.nameID == 3]
        if full != unique:
            problems.append("platform %d: unique name is not the full name" % platform)

    ots = subprocess.run([OTS, case["subset"]], capture_output=True, text=True)
    if ots.returncode != 0:
        problems.append("sanitizer: %s" % (ots.stdout + ots.stderr).strip()[:400])
    return problems


def main():
    with open(sys.argv[1]) as f:
        cases = json.load(f)
    failed = 0
    for case in cases:
        problems = check(case)
        for problem in problems:
            print("%s: %s" % (case["subset"], problem))
        failed += bool(problems)
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
