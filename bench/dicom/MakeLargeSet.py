#!/usr/bin/python3
"""Writes a Part 10 data set of a few thousand short elements (explicit VR little endian)."""
import sys

from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian

ds = Dataset()
ds.SOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
ds.SOPInstanceUID = "1.2.3.4.5"
for group in range(0x0011, 0x0011 + 2 * 30, 2):
    for element in range(0x1000, 0x1000 + 100):
        ds.add_new((group << 16) | element, "LO", "value %d" % element)
ds.file_meta = FileMetaDataset()
ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
ds.is_little_endian, ds.is_implicit_VR = True, False
ds.save_as(sys.argv[1], write_like_original=False)
