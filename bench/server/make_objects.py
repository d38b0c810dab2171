#!/usr/bin/python3
"""Writes the objects the server benchmark sends.
  make_objects.py ecg OUTDIR COUNT SERIES [SETS]
                                            COUNT twelve-lead ECG objects of one series (pydicom's
                                            sample, new UIDs) as OUTDIR/ecg_NNNN.dcm; SERIES
                                            (a number) keeps the UIDs of two sets apart; with
                                            SETS, that many such sets of series SERIES + 1 ..
                                            SERIES + SETS in OUTDIR/01, OUTDIR/02, ...
  make_objects.py big OUTDIR MIB COUNT      COUNT secondary-capture objects of MIB MiB of pixel
                                            data each, with UIDs of their own, as
                                            OUTDIR/big_NN.dcm"""
import os
import sys
import warnings

import pydicom
from pydicom.data import get_testdata_file
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian

warnings.simplefilter("ignore")
root = "1.2.826.0.1.3680043.8.498.9"


def ecgs(out, count, series):
    ds = pydicom.dcmread(get_testdata_file("waveform_ecg.dcm"))
    ds.PatientID = "BENCH1"
    ds.StudyInstanceUID = root + ".1"
    ds.SeriesInstanceUID = "%s.1.%d" % (root, series)
    for i in range(1, count + 1):
        ds.SOPInstanceUID = "%s.2.%d.%d" % (root, series, i)
        ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
        ds.save_as(os.path.join(out, "ecg_%04d.dcm" % i), write_like_original=False)


def bigs(out, mib, count):
    # 8-bit monochrome frames of 1024 x 1024: one MiB each.
    pixels = bytes(range(256)) * (4096 * mib)
    for i in range(1, count + 1):
        big = Dataset()
        big.SOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
        big.SOPInstanceUID = "%s.3.%d.%d" % (root, mib, i)
        big.PatientID = "BENCH2"
        big.PatientName = "Big^Object"
        big.StudyInstanceUID = root + ".3"
        big.SeriesInstanceUID = "%s.3.0.%d" % (root, mib)
        big.StudyDate = "20260101"
        big.Modality = "OT"
        big.SamplesPerPixel = 1
        big.PhotometricInterpretation = "MONOCHROME2"
        big.Rows = 1024
        big.Columns = 1024
        big.NumberOfFrames = mib
        big.BitsAllocated = 8
        big.BitsStored = 8
        big.HighBit = 7
        big.PixelRepresentation = 0
        big.PixelData = pixels
        big.file_meta = FileMetaDataset()
        big.file_meta.MediaStorageSOPClassUID = big.SOPClassUID
        big.file_meta.MediaStorageSOPInstanceUID = big.SOPInstanceUID
        big.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
        big.is_little_endian = True
        big.is_implicit_VR = False
        big.save_as(os.path.join(out, "big_%02d.dcm" % i), write_like_original=False)


kind, out = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)
if kind == "ecg" and len(sys.argv) > 5:
    for k in range(1, int(sys.argv[5]) + 1):
        folder = os.path.join(out, "%02d" % k)
        os.makedirs(folder, exist_ok=True)
        ecgs(folder, int(sys.argv[3]), int(sys.argv[4]) + k)
elif kind == "ecg":
    ecgs(out, int(sys.argv[3]), int(sys.argv[4]))
else:
    bigs(out, int(sys.argv[3]), int(sys.argv[4]))
