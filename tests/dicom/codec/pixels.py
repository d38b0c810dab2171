#!/usr/bin/python3
"""Writes a file's decoded pixels as pydicom sees them (native layout, little endian).

usage: pixels.py IN OUT
"""
import sys

import pydicom

ds = pydicom.dcmread(sys.argv[1])
arr = ds.pixel_array
if arr.dtype.byteorder == ">":
    arr = arr.byteswap().newbyteorder()
open(sys.argv[2], "wb").write(arr.tobytes())
