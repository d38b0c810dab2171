#!/usr/bin/python3
"""Reads and writes back every sample file of pydicom's test_files with dcmroundtrip, and checks
our output with independent readers: pydicom must read it as equal to the input (element for
element, in order, nested sequences included), dcmdump -E must report no error, and the file meta
group must be the one we always write.

usage: roundtrip_check.py DCMROUNDTRIP TEST_FILES_DIR WORK_DIR
"""
import os
import subprocess
import sys
import warnings

import pydicom

warnings.simplefilter("ignore")

IMPLEMENTATION_CLASS_UID = "2.25.304991017046338021517.999"

# Part 10 files whose reading fails on purpose, with the reason.
EXPECTED_READ_FAILURES = {
    "MR_truncated.dcm": "the pixel data is cut short",
    "rtplan_truncated.dcm": "a sequence is cut short",
    "image_dfl.dcm": "the deflated syntax is read as explicit little endian",
    "DICOMDIR-nooffset": "the last item runs past its sequence's declared length",
}
# Read and written, but not compared with pydicom's reading of the input.
NOT_COMPARED = {
    # Implicit VR content under an explicit syntax: each element falls back to the dictionary
    # VR, so the pixel data becomes "OW" where pydicom guesses "OB".
    "SC_rgb_jpeg.dcm",
}


def sample_files(root):
    for folder, _dirs, files in os.walk(root):
        for name in sorted(files):
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                head = f.read(132)
            if len(head) == 132 and head[128:132] == b"DICM":
                yield path, True
            elif name.endswith(".dcm") or name.startswith("DICOMDIR"):
                yield path, False


def same_elements(a, b, where=""):
    """pydicom's equality plus the element order, recursively; returns a reason or None."""
    if a != b:
        return "not equal" + where
    if [e.tag for e in a] != [e.tag for e in b]:
        return "order differs" + where
    for ea, eb in zip(a, b):
        if ea.VR == "SQ":
            for i, (ia, ib) in enumerate(zip(ea.value, eb.value)):
                reason = same_elements(ia, ib, "%s %s[%d]" % (where, ea.tag, i))
                if reason:
                    return reason
    return None


def meta_end(data):
    """Offset of the first byte after the file meta group (explicit VR little endian)."""
    pos = 132
    while pos + 8 <= len(data) and int.from_bytes(data[pos:pos + 2], "little") == 2:
        vr = data[pos + 4:pos + 6]
        if vr in (b"OB", b"OW", b"OF", b"SQ", b"UN", b"UT", b"UR", b"UC"):
            pos += 12 + int.from_bytes(data[pos + 8:pos + 12], "little")
        else:
            pos += 8 + int.from_bytes(data[pos + 6:pos + 8], "little")
    return pos


def check_meta(path, ours):
    meta = ours.file_meta
    if str(meta.ImplementationClassUID) != IMPLEMENTATION_CLASS_UID:
        return "implementation class UID"
    if meta.ImplementationVersionName != "Nolvertasco":
        return "implementation version name"
    with open(path, "rb") as f:
        data = f.read()
    if data[:128] != bytes(128) or data[128:140] != b"DICM\x02\x00\x00\x00UL\x04\x00":
        return "preamble or group length header"
    if data[144:158] != b"\x02\x00\x01\x00OB\x00\x00\x02\x00\x00\x00\x00\x01":
        return "meta version bytes"
    if [e.tag.element for e in meta] != [0x0000, 0x0001, 0x0002, 0x0003, 0x0010, 0x0012, 0x0013]:
        return "meta elements"
    if int.from_bytes(data[140:144], "little") != meta_end(data) - 144:
        return "group length"
    return None


def has_undefined_length(ds):
    for e in ds:
        if getattr(e, "is_undefined_length", False):
            return True
        if e.VR == "SQ" and any(has_undefined_length(item) for item in e.value):
            return True
    return False


def same_data_set_bytes(original_path, out_path):
    with open(original_path, "rb") as f:
        a = f.read()
    with open(out_path, "rb") as f:
        b = f.read()
    return a[meta_end(a):] == b[meta_end(b):]


def main():
    tool, root, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    failures, checked, identical = [], 0, 0
    for path, part10 in sample_files(root):
        name = os.path.basename(path)
        out = os.path.join(work, name.replace(os.sep, "_") + ".out")
        rc = subprocess.run([tool, path, out], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=60).returncode
        if not part10:
            if rc != 1:
                failures.append("%s: a file without DICM was not refused (rc %d)" % (name, rc))
            continue
        if name in EXPECTED_READ_FAILURES:
            if rc != 1:
                failures.append("%s: read although %s (rc %d)" % (
                    name, EXPECTED_READ_FAILURES[name], rc))
            continue
        if rc != 0:
            failures.append("%s: read or write failed (rc %d)" % (name, rc))
            continue
        checked += 1
        dump = subprocess.run(["dcmdump", "-E", out], capture_output=True, text=True,
                              errors="replace", timeout=60)
        errors = [l for l in (dump.stdout + dump.stderr).splitlines() if l.startswith("E:")]
        if errors:
            failures.append("%s: dcmdump: %s" % (name, errors[0]))
        ours = pydicom.dcmread(out)
        try:
            original = pydicom.dcmread(path)
        except Exception:
            original = None
        reason = check_meta(out, ours)
        if reason:
            failures.append("%s: %s" % (name, reason))
        if original is not None and name not in NOT_COMPARED:
            reason = same_elements(original, ours)
            if reason:
                failures.append("%s: %s" % (name, reason))
            elif not has_undefined_length(original):
                identical += 1
                if not same_data_set_bytes(path, out):
                    failures.append("%s: data set bytes differ" % name)
    for f in failures:
        print(f)
    print("checked %d files (%d byte for byte), %d failures" % (checked, identical, len(failures)))
    return 1 if failures or checked < 50 else 0


if __name__ == "__main__":
    sys.exit(main())
