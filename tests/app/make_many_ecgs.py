"""Writes `count` copies of pydicom's sample ECG into a folder, each its own object of one study
and series, for storing a stream of objects: make_many_ecgs.py <folder> <count> [first number
of their SOP Instance UIDs, 1 unless given]."""
import os
import sys

import pydicom
from pydicom.data import get_testdata_file

folder, count = sys.argv[1], int(sys.argv[2])
first = int(sys.argv[3]) if len(sys.argv) > 3 else 1
os.makedirs(folder, exist_ok=True)
ds = pydicom.dcmread(get_testdata_file("waveform_ecg.dcm"))
for number in range(first, first + count):
    ds.SOPInstanceUID = "1.2.826.0.1.3680043.8.498.60.%d" % number
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    ds.save_as(os.path.join(folder, "ecg%03d.dcm" % number), write_like_original=False)
