#!/usr/bin/python3
"""The peer side for JPEG 2000: pydicom with Pillow (over OpenJPEG) decoding the pixel data.
Reads the file afresh for every run (not timed) and times only the decoding.
Prints the mean milliseconds per frame.

usage: pydicom_decode.py FILE RUNS
"""
import sys
import time
import warnings

import pydicom

warnings.simplefilter("ignore")
path, runs = sys.argv[1], int(sys.argv[2])
total = 0.0
frames = 1
for _ in range(runs):
    ds = pydicom.dcmread(path)
    frames = int(ds.get("NumberOfFrames", 1) or 1)
    start = time.perf_counter()
    ds.pixel_array
    total += time.perf_counter() - start
print("%.3f" % (1000 * total / runs / frames))
