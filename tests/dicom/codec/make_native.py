#!/usr/bin/python3
"""Writes a native (explicit VR little endian) image for the codec tests.

usage: make_native.py OUT ROWS COLS BITS_ALLOCATED BITS_STORED SAMPLES FRAMES SIGNED PI PLANAR
       [MODALITY [SLOPE INTERCEPT]]
Pixels are a smooth ramp with a little noise, fixed by a seed, so every run writes the same file.
"""
import sys

import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, generate_uid

out, rows, cols, ba, bs, spp, frames, signed, pi, planar = sys.argv[1:11]
rows, cols, ba, bs, spp, frames, signed, planar = map(int, (rows, cols, ba, bs, spp, frames, signed, planar))
modality = sys.argv[11] if len(sys.argv) > 11 else "OT"

rng = np.random.default_rng(1234)
y, x = np.mgrid[0:rows, 0:cols]
shape = (frames, rows, cols, spp)
base = np.zeros(shape, dtype=np.int64)
for f in range(frames):
    for c in range(spp):
        base[f, :, :, c] = (x * 7 + y * 5 + f * 40 + c * 60)
top = (1 << bs) - 1
values = (base * max(1, top // 512) + rng.integers(0, 4, size=shape)) % (top + 1)
if signed:
    values = values - (1 << (bs - 1))
dtype = {8: np.uint8, 16: np.uint16}[ba] if not signed else {8: np.int8, 16: np.int16}[ba]
pixels = values.astype(dtype)
if planar and spp == 3:
    pixels = np.ascontiguousarray(pixels.transpose(0, 3, 1, 2))

meta = FileMetaDataset()
meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
meta.MediaStorageSOPInstanceUID = generate_uid()
meta.TransferSyntaxUID = ExplicitVRLittleEndian
ds = Dataset()
ds.file_meta = meta
ds.SOPClassUID = meta.MediaStorageSOPClassUID
ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
ds.StudyInstanceUID = generate_uid()
ds.SeriesInstanceUID = generate_uid()
ds.Modality = modality
ds.PatientName = "Codec^Test"
ds.PatientID = "CODEC1"
ds.SamplesPerPixel = spp
ds.PhotometricInterpretation = pi
if spp == 3:
    ds.PlanarConfiguration = planar
if frames > 1:
    ds.NumberOfFrames = frames
ds.Rows = rows
ds.Columns = cols
ds.BitsAllocated = ba
ds.BitsStored = bs
ds.HighBit = bs - 1
ds.PixelRepresentation = signed
if len(sys.argv) > 13:
    ds.RescaleSlope = sys.argv[12]
    ds.RescaleIntercept = sys.argv[13]
ds.PixelData = pixels.tobytes()
ds["PixelData"].VR = "OB" if ba == 8 else "OW"
ds.is_little_endian = True
ds.is_implicit_VR = False
ds.save_as(out, write_like_original=False)
