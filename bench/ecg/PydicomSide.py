#!/usr/bin/python3
"""The peer's share of opening an ECG: pydicom reads the file and the first multiplex group's
samples are split into one array per channel (the work of our read, Load and Prepare; pydicom
draws nothing). Prints the median and the fastest of RUNS runs in milliseconds."""
import array
import statistics
import sys
import time

import pydicom


def open_ecg(path):
    ds = pydicom.dcmread(path)
    group = ds.WaveformSequence[0]
    channels = group.NumberOfWaveformChannels
    names = [c.ChannelSourceSequence[0].CodeMeaning for c in group.ChannelDefinitionSequence]
    samples = array.array("h", group.WaveformData)
    if sys.byteorder != "little":
        samples.byteswap()
    return names, [samples[i::channels] for i in range(channels)]


path, runs = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 200
open_ecg(path)
times = []
for _ in range(runs):
    start = time.perf_counter()
    open_ecg(path)
    times.append((time.perf_counter() - start) * 1000)
print("  pydicom  median %7.3f ms   fastest %7.3f ms  (read + split into channels, no drawing)"
      % (statistics.median(times), min(times)))
