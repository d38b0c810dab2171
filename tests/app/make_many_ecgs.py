"""Writes `count` copies of pydicom's sample ECG into a folder, each its own object of one study
and series, for storing a stream of objects: make_many_ecgs.py <folder> <count>."""
import os
import sys

import pydicom
from pydicom.data import get_testdata_file

folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder, exist_ok=True)
ds = pydicom.dcmread(get_testdata_file("waveform_ecg.dcm"))
for number in range(1, count + 1):
    ds.SOPInstanceUID = "1.2.826.0.1.3680043.8.498.60.%d" % number
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    ds.save_as(os.path.join(folder, "ecg%03d.dcm" % number), write_like_original=False)
