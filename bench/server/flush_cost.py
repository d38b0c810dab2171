#!/usr/bin/python3
"""Prints, in milliseconds per file, what the file system itself charges for writing FILE's bytes
as a new file through a temporary file, plainly and with the flushes our server does (the file
before its rename, then its folder): the reference for the server's flushing cost.
usage: flush_cost.py FILE FOLDER [COUNT]"""
import os
import sys
import time

data = open(sys.argv[1], "rb").read()
folder = sys.argv[2]
count = int(sys.argv[3]) if len(sys.argv) > 3 else 200
os.makedirs(folder, exist_ok=True)


def per_file(flush, round_):
    start = time.perf_counter()
    for i in range(count):
        temporary = os.path.join(folder, ".%d-%d.tmp" % (round_, i))
        fd = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
        os.write(fd, data)
        if flush:
            os.fsync(fd)
        os.close(fd)
        os.rename(temporary, os.path.join(folder, "%d-%d.dcm" % (round_, i)))
        if flush:
            dir_fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
            os.fsync(dir_fd)
            os.close(dir_fd)
    return (time.perf_counter() - start) * 1000 / count


plain = per_file(False, 0)
flushed = per_file(True, 1)
print("%.2f %.2f" % (plain, flushed))
