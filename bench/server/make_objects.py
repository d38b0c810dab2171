#!/usr/bin/python3
"""Writes N twelve-lead ECG objects of one series (pydicom's sample, new UIDs) into OUTDIR, and
with a third argument one secondary-capture object of that many MiB of pixel data as big.dcm."""
import os
import sys
import warnings

import pydicom
from pydicom.data import get_testdata_file
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian

warnings.simplefilter("ignore")
out, count = sys.argv[1], int(sys.argv[2])
big_mib = int(sys.argv[3]) if len(sys.argv) > 3 else 0
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

if big_mib:
    # 8-bit monochrome frames of 1024 x 1024: one MiB each.
    big = Dataset()
    big.SOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    big.SOPInstanceUID = root + ".3.1"
    big.PatientID = "BENCH2"
    big.PatientName = "Big^Object"
    big.StudyInstanceUID = root + ".3"
    big.SeriesInstanceUID = root + ".3.0"
    big.StudyDate = "20260101"
    big.Modality = "OT"
    big.SamplesPerPixel = 1
    big.PhotometricInterpretation = "MONOCHROME2"
    big.Rows = 1024
    big.Columns = 1024
    big.NumberOfFrames = big_mib
    big.BitsAllocated = 8
    big.BitsStored = 8
    big.HighBit = 7
    big.PixelRepresentation = 0
    big.PixelData = bytes(range(256)) * (4096 * big_mib)
    big.file_meta = FileMetaDataset()
    big.file_meta.MediaStorageSOPClassUID = big.SOPClassUID
    big.file_meta.MediaStorageSOPInstanceUID = big.SOPInstanceUID
    big.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    big.is_little_endian = True
    big.is_implicit_VR = False
    big.save_as(os.path.join(out, "..", "big.dcm"), write_like_original=False)
