#!/usr/bin/python3
"""The 12-lead ECG sample read and written back, checked by independent tools:
- dciodvfy reports no error on our output that it did not report on the input (the version name
  "Nolvertasco" is padded with a NUL on purpose, which dciodvfy flags for SH);
- re-encoded as implicit VR and back as explicit VR, pydicom reads the same standard elements
  (private elements lose their VR in implicit VR, so they are compared by their bytes only);
- dcmdump -E reads every output without error.

usage: ecg_check.py DCMROUNDTRIP TEST_FILES_DIR WORK_DIR
"""
import os
import subprocess
import sys
import warnings

import pydicom

warnings.simplefilter("ignore")

IMPLICIT_LE = "1.2.840.10008.1.2"
EXPLICIT_LE = "1.2.840.10008.1.2.1"


def dciodvfy_errors(path):
    run = subprocess.run(["dciodvfy", path], capture_output=True, text=True, errors="replace",
                         timeout=120)
    lines = {l.strip() for l in (run.stdout + run.stderr).splitlines() if l.startswith("Error")}
    return lines


def intended(line, errors):
    if "(0x0002,0x0013)" in line:
        return True
    # The summary line that goes with the flagged version name.
    return line.startswith("Error - Dicom dataset contains invalid data values") and any(
        "(0x0002,0x0013)" in e for e in errors)


def standard_and_private_bytes(ds):
    standard = [(e.tag, e.value) for e in ds if not e.tag.is_private]
    private = [(e.tag, bytes(e.value) if isinstance(e.value, (bytes, bytearray)) else None)
               for e in ds if e.tag.is_private]
    return standard, private


def roundtrip(tool, source, target, syntax=None):
    args = [tool] + (["--syntax", syntax] if syntax else []) + [source, target]
    subprocess.run(args, check=True, timeout=60)


def main():
    tool, root, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    source = os.path.join(root, "waveform_ecg.dcm")
    same = os.path.join(work, "ecg_same.dcm")
    implicit = os.path.join(work, "ecg_implicit.dcm")
    explicit = os.path.join(work, "ecg_explicit_again.dcm")
    roundtrip(tool, source, same)
    roundtrip(tool, source, implicit, IMPLICIT_LE)
    roundtrip(tool, implicit, explicit, EXPLICIT_LE)
    failures = []

    before, after = dciodvfy_errors(source), dciodvfy_errors(same)
    for line in sorted(after - before):
        if not intended(line, after):
            failures.append("dciodvfy: " + line)

    original = pydicom.dcmread(source)
    if pydicom.dcmread(same) != original:
        failures.append("the written ECG differs from the input")
    if pydicom.dcmread(implicit).file_meta.TransferSyntaxUID != IMPLICIT_LE:
        failures.append("implicit output has the wrong transfer syntax")
    wanted_standard, _ = standard_and_private_bytes(original)
    for path in (implicit, explicit):
        standard, _ = standard_and_private_bytes(pydicom.dcmread(path))
        if standard != wanted_standard:
            failures.append("%s: standard elements differ" % os.path.basename(path))
    for path in (same, implicit, explicit):
        run = subprocess.run(["dcmdump", "-E", path], capture_output=True, text=True,
                             errors="replace", timeout=60)
        if any(l.startswith("E:") for l in (run.stdout + run.stderr).splitlines()):
            failures.append("dcmdump reports errors on %s" % os.path.basename(path))
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
