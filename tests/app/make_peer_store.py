"""Fills a folder with the remote peer's studies: the sample ECG, an HD variant of it (its own
study) and a CT image."""
import os
import shutil
import sys

import pydicom
from pydicom.data import get_testdata_file

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
ecg = get_testdata_file("waveform_ecg.dcm")
shutil.copy(ecg, os.path.join(folder, "ecg.dcm"))
shutil.copy(get_testdata_file("CT_small.dcm"), os.path.join(folder, "ct.dcm"))
ds = pydicom.dcmread(ecg)
ds.Modality = "HD"
ds.PatientName = "Heart^Dynamics"
ds.SOPInstanceUID = "1.2.826.0.1.3680043.8.498.77.1"
ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
ds.StudyInstanceUID = "1.2.826.0.1.3680043.8.498.77.2"
ds.SeriesInstanceUID = "1.2.826.0.1.3680043.8.498.77.3"
ds.save_as(os.path.join(folder, "hd.dcm"), write_like_original=False)
