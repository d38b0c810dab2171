#!/usr/bin/python3
"""Encodes a native image as RLE Lossless with pydicom's own encoder (an encoder independent of
dcmtk's dcmcrle).

usage: rle_encode.py IN OUT
"""
import sys

import pydicom
from pydicom.uid import RLELossless

ds = pydicom.dcmread(sys.argv[1])
ds.compress(RLELossless, encoding_plugin="pydicom")
ds.save_as(sys.argv[2], write_like_original=False)
