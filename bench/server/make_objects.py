#!/usr/bin/python3
"""Writes N twelve-lead ECG objects of one series (pydicom's sample, new UIDs) into OUTDIR."""
import os
import sys
import warnings

import pydicom
from pydicom.data import get_testdata_file

warnings.simplefilter("ignore")
out, count = sys.argv[1], int(sys.argv[2])
os.makedirs(out, exist_ok=True)
ds = pydicom.dcmread(get_testdata_file("waveform_ecg.dcm"))
root = "1.2.826.0.1.3680043.8.498.9"
ds.PatientID = "BENCH1"
ds.StudyInstanceUID = root + ".1"
ds.SeriesInstanceUID = root + ".1.1"
for i in range(1, count + 1):
    ds.SOPInstanceUID = "%s.2.%d" % (root, i)
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    ds.save_as(os.path.join(out, "ecg_%04d.dcm" % i), write_like_original=False)
