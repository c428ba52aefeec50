#!/usr/bin/env python3
"""Writes formats/dicom/dicom_dictionary.inc, the DICOM reader's table of data
element representations, from a machine-readable copy of the DICOM standard's
registry of data elements (PS3.6).

Usage: scripts/make_dicom_dictionary.py REGISTRY.json [OUTPUT]

REGISTRY.json holds the registry's rows, each an object with at least "tag"
("(gggg,eeee)", an 'x' standing for any hex digit) and "vr" ("US", "US or SS",
"See Note" ...).  Accepted shapes: a list of rows; an object whose "elements"
is such a list or an object keyed by tag; or an object keyed by tag.  A
top-level "revision" names the edition of the standard the rows come from.
The npm package @iwharris/dicom-data-dictionary (a copy of the registry
table, data only) gives such a file:
    npm pack @iwharris/dicom-data-dictionary && tar xzf iwharris-*.tgz
    node -e 'const d = require("./package/dist/index.js");
             console.log(JSON.stringify({revision: d.revision,
                                         elements: Object.values(d.elements)}))' > registry.json

The registry table of data elements does not carry the file meta elements
(group 0002) nor the directory structuring elements (group 0004); they are
listed below from the same standard's tables of those groups.

Representation rules of the reader's table:
  - rows giving a choice of representations ("US or SS", "OB or OW", ...)
    become "xs": the file has to tell (explicit VR) or nobody can;
  - the item and delimitation tags (FFFE,E000), (FFFE,E00D), (FFFE,E0DD)
    become "!!";
  - rows with an 'x' in the tag (repeating groups 50xx and 60xx, (0028,04x0),
    (1000,xxx0) ...) go to a second table of masked entries.
"""
import json
import os
import re
import sys

# File meta information (group 0002) and directory structuring elements
# (group 0004): tag, representation.
EXTRA_ROWS = [
    ("(0002,0000)", "UL"), ("(0002,0001)", "OB"), ("(0002,0002)", "UI"), ("(0002,0003)", "UI"),
    ("(0002,0010)", "UI"), ("(0002,0012)", "UI"), ("(0002,0013)", "SH"), ("(0002,0016)", "AE"),
    ("(0002,0017)", "AE"), ("(0002,0018)", "AE"), ("(0002,0026)", "UR"), ("(0002,0027)", "UR"),
    ("(0002,0028)", "UR"), ("(0002,0031)", "OB"), ("(0002,0032)", "UI"), ("(0002,0033)", "UI"),
    ("(0002,0035)", "OB"), ("(0002,0036)", "OB"), ("(0002,0037)", "UL"), ("(0002,0038)", "FD"),
    ("(0002,0100)", "UI"), ("(0002,0102)", "OB"),
    ("(0004,1130)", "CS"), ("(0004,1141)", "CS"), ("(0004,1142)", "CS"), ("(0004,1200)", "UL"),
    ("(0004,1202)", "UL"), ("(0004,1212)", "US"), ("(0004,1220)", "SQ"), ("(0004,1400)", "UL"),
    ("(0004,1410)", "US"), ("(0004,1420)", "UL"), ("(0004,1430)", "CS"), ("(0004,1432)", "UI"),
    ("(0004,1500)", "CS"), ("(0004,1504)", "UL"), ("(0004,1510)", "UI"), ("(0004,1511)", "UI"),
    ("(0004,1512)", "UI"), ("(0004,151A)", "UI"), ("(0004,1600)", "UL"),
]

SINGLE_VRS = {
    "AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL", "IS", "LO", "LT", "OB", "OD", "OF", "OL",
    "OV", "OW", "PN", "SH", "SL", "SQ", "SS", "ST", "SV", "TM", "UC", "UI", "UL", "UN", "UR", "US",
    "UT", "UV",
}
DELIMITERS = {(0xFFFE, 0xE000), (0xFFFE, 0xE00D), (0xFFFE, 0xE0DD)}
TAG = re.compile(r"^\(([0-9A-Fa-fx]{4}),([0-9A-Fa-fx]{4})\)$")


def rows_of(doc):
    if isinstance(doc, dict) and "elements" in doc:
        doc = doc["elements"]
    if isinstance(doc, dict):
        doc = list(doc.values())
    if not isinstance(doc, list):
        sys.exit("no rows of data elements in the registry file")
    return doc


def reader_vr(tag, vr):
    """The reader's two-character representation of one registry row."""
    vr = " ".join(str(vr).split()).upper()
    if tag in DELIMITERS:
        return "!!"
    if vr in SINGLE_VRS:
        return vr
    parts = [p.strip() for p in vr.split(" OR ")]
    if len(parts) > 1 and all(p in SINGLE_VRS for p in parts):
        return "xs"
    return None  # no representation given (some retired rows)


def masked(field):
    """(value, mask) of a tag field: an 'x' matches any hex digit."""
    value = mask = 0
    for ch in field:
        value <<= 4
        mask <<= 4
        if ch in "xX":
            continue
        value |= int(ch, 16)
        mask |= 0xF
    return value, mask


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    source = sys.argv[1]
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[2] if len(sys.argv) == 3 else os.path.join(root, "formats", "dicom", "dicom_dictionary.inc")
    with open(source, encoding="utf-8") as f:
        doc = json.load(f)
    revision = doc.get("revision", "") if isinstance(doc, dict) else ""

    exact = {}
    ranged = {}
    skipped = []
    rows = [(r.get("tag", ""), r.get("vr", "")) for r in rows_of(doc)] + EXTRA_ROWS
    for tag_text, vr_text in rows:
        m = TAG.match(str(tag_text).strip())
        if not m:
            sys.exit(f"unreadable tag {tag_text!r}")
        group, gmask = masked(m.group(1))
        element, emask = masked(m.group(2))
        vr = reader_vr((group, element), vr_text)
        if vr is None:
            skipped.append(tag_text)
            continue
        if gmask == 0xFFFF and emask == 0xFFFF:
            if exact.get((group, element), vr) != vr:
                sys.exit(f"{tag_text} listed twice with different representations")
            exact[(group, element)] = vr
        else:
            ranged[(group, gmask, element, emask)] = vr

    # Each masked entry must not shadow another: the lookup takes the first match.
    keys = sorted(ranged)
    for i, a in enumerate(keys):
        for b in keys[i + 1:]:
            if ((a[0] ^ b[0]) & a[1] & b[1]) == 0 and ((a[2] ^ b[2]) & a[3] & b[3]) == 0:
                sys.exit(f"masked entries overlap: {a} and {b}")

    edition = f", edition {revision}" if revision else ""
    out = [
        "// Generated by scripts/make_dicom_dictionary.py from the DICOM standard's",
        f"// registry of DICOM data elements (PS3.6{edition}), with the file meta",
        "// elements (group 0002) and the directory structuring elements (group 0004).",
        "// Do not edit by hand: run the script again.",
        "//",
        "// \"xs\": the element admits several representations (US or SS, OB or OW ...);",
        "// \"!!\": item and delimitation tags.  Retired elements are kept: old files",
        "// still carry them.",
        "",
        "// Elements with a fixed tag, sorted by group and then element.",
        "constexpr TEntry kDictionary[] = {",
    ]
    line = []
    for (g, e) in sorted(exact):
        line.append(f'{{0x{g:04X}, 0x{e:04X}, "{exact[(g, e)]}"}},')
        if len(line) == 4:
            out.append("    " + " ".join(line))
            line = []
    if line:
        out.append("    " + " ".join(line))
    out += [
        "};",
        "",
        "// Elements of repeating groups and element ranges: a tag matches when it",
        "// equals the entry's tag in the bits of the masks.",
        "constexpr TRangedEntry kRangedDictionary[] = {",
    ]
    for (g, gm, e, em) in keys:
        out.append(f'    {{0x{g:04X}, 0x{gm:04X}, 0x{e:04X}, 0x{em:04X}, "{ranged[(g, gm, e, em)]}"}},')
    out += ["};", ""]
    with open(target, "w", encoding="utf-8") as f:
        f.write("\n".join(out))
    print(f"{target}: {len(exact)} elements, {len(keys)} ranged elements"
          + (f", {len(skipped)} rows without a representation skipped" if skipped else ""))


if __name__ == "__main__":
    main()
