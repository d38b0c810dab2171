"""Prints zlib.crc32 of each hex-encoded line of a file as 8 upper-case hex digits."""
import sys
import zlib

with open(sys.argv[1]) as lines:
    for line in lines:
        print("%08X" % zlib.crc32(bytes.fromhex(line.strip())))
