#!/usr/bin/python3
"""ECG objects whose patient names go beyond ASCII, and a reader of the names in DICOM files.

make OUTDIR: writes the sample ECG four times, each its own patient and study: UTF-8 names
(ISO_IR 192), one of them with characters Latin-1 lacks, and Latin-1 names (ISO_IR 100), one
of them with a byte the two 8-bit encodings read differently.
names FILE...: prints "PatientID|PatientName|SpecificCharacterSet" per file in UTF-8, the name
decoded by pydicom from the file's own declaration."""
import os
import sys
import warnings

import pydicom
from pydicom.data import get_testdata_file
from pydicom.dataelem import DataElement

ROOT = "1.2.826.0.1.3680043.8.498.15"
OBJECTS = [
    ("U1", "ISO_IR 192", "MÜLLER^JÖRG"),
    ("U2", "ISO_IR 192", "ŁUKASZ^ŻÓŁW"),
    ("L1", "ISO_IR 100", "GRÅBERG^SØREN"),
    ("L2", "ISO_IR 100", b"K\x85NIG^ANNA"),
]


def make(out):
    os.makedirs(out, exist_ok=True)
    for number, (patient, charset, name) in enumerate(OBJECTS, 1):
        ds = pydicom.dcmread(get_testdata_file("waveform_ecg.dcm"))
        ds.SpecificCharacterSet = charset
        ds.PatientID = patient
        if isinstance(name, bytes):
            ds[0x00100010] = DataElement(0x00100010, "PN", name)
        else:
            ds.PatientName = name
        ds.StudyInstanceUID = "%s.%d" % (ROOT, number)
        ds.SeriesInstanceUID = "%s.%d.1" % (ROOT, number)
        ds.SOPInstanceUID = "%s.%d.1.1" % (ROOT, number)
        ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
        ds.save_as(os.path.join(out, patient + ".dcm"), write_like_original=False)


def names(files):
    out = []
    for path in files:
        ds = pydicom.dcmread(path)
        charset = ds.get("SpecificCharacterSet", "")
        out.append("%s|%s|%s" % (ds.get("PatientID", ""), ds.get("PatientName", ""), charset))
    sys.stdout.buffer.write(("\n".join(sorted(out)) + "\n").encode("utf-8"))


if __name__ == "__main__":
    warnings.simplefilter("ignore")
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        names(sys.argv[2:])
