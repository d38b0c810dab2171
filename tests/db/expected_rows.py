"""Checks the Study, Series and Objects rows registered for DICOM files against rows computed
independently from the files with pydicom, Python's zlib and sqlite3.

The expected values are the files' top-level elements (values inside sequences never count),
cut at the first NUL, trimmed of bytes up to 0x20 (ConvolutionKernel untrimmed), "'" stored as
a blank, PatientName with every "^" as a blank and blanks trimmed, then "," as "^"; folder
names are zlib.crc32 of the concatenated values.

Usage: expected_rows.py DATABASE FALLBACK_STUDY_DATE FILE...
Prints one line per difference; exits 1 when there is any.
"""
import re
import sqlite3
import sys
import time
import zlib

import pydicom
from pydicom.tag import Tag


def raw_text(ds, group, element):
    """The element's value bytes as 8-bit text up to the first NUL; "" when absent."""
    tag = Tag(group, element)
    if tag not in ds:
        return ""
    item = ds.get_item(tag)
    value = item.value
    if isinstance(value, (bytes, bytearray)):
        text = bytes(value).decode("latin-1")
    else:  # already converted by pydicom: rebuild the stored text
        if isinstance(value, (list, pydicom.multival.MultiValue)):
            text = "\\".join(str(v) for v in value)
        else:
            text = "" if value is None else str(value)
    return text.split("\0", 1)[0]


def trim(text):
    begin, end = 0, len(text)
    while begin < end and ord(text[begin]) <= 0x20:
        begin += 1
    while end > begin and ord(text[end - 1]) <= 0x20:
        end -= 1
    return text[begin:end]


def stored(text):
    return text.replace("'", " ")


def value(ds, group, element):
    return trim(raw_text(ds, group, element))


def decimal_or_zero(text):
    if not re.fullmatch(r"[+-]?[0-9]+", text):
        return 0
    number = int(text)
    return number if -2**31 <= number < 2**31 else 0


def crc_name(text):
    return "%08X" % zlib.crc32(text.encode("latin-1"))


def study_modality(ds):
    modality = ""
    for element in (0x0060, 0x0061):  # in tag order: the later of the two wins
        tag = Tag(0x0008, element)
        if tag in ds and ds.get_item(tag).length:
            modality = value(ds, 0x0008, element)
    return modality


def patient_name(ds):
    return trim(raw_text(ds, 0x0010, 0x0010).replace("^", " ").strip(" ").replace(",", "^"))


def expected(ds, fallback_date, today):
    v = lambda g, e: value(ds, g, e)
    study_uid, series_uid = v(0x0020, 0x000D), v(0x0020, 0x000E)
    study_folder = crc_name(study_uid + v(0x0020, 0x0010) + v(0x0008, 0x0050))
    series_folder = crc_name(v(0x0008, 0x0060) + series_uid + v(0x0020, 0x0011))
    date = v(0x0008, 0x0020) or fallback_date
    study = [study_uid, v(0x0008, 0x0020), v(0x0008, 0x0030), v(0x0020, 0x0010),
             v(0x0008, 0x1030), v(0x0008, 0x0050), v(0x0008, 0x0090), study_modality(ds), "",
             v(0x0008, 0x0080), study_folder, v(0x0010, 0x0020),
             patient_name(ds), v(0x0010, 0x0040),
             v(0x0010, 0x0030)]
    series = [series_uid, v(0x0020, 0x0011), v(0x0008, 0x0021), v(0x0008, 0x0031),
              v(0x0008, 0x103E), v(0x0008, 0x0060), v(0x0008, 0x0080), "", "", v(0x0018, 0x0015),
              v(0x0018, 0x1030), "%s/%s/%s" % (date, study_folder, series_folder), study_uid]
    objects = [v(0x0008, 0x0018), v(0x0008, 0x0016), decimal_or_zero(v(0x0020, 0x0013)),
               v(0x0008, 0x0023), v(0x0008, 0x0033), decimal_or_zero(v(0x0020, 0x0012)),
               v(0x0008, 0x0022), v(0x0008, 0x0032), v(0x0020, 0x1041), today, series_uid,
               study_uid, raw_text(ds, 0x0018, 0x1210), 0, "N"]
    as_stored = lambda row: [stored(x) if isinstance(x, str) else x for x in row]
    return [("Study", "StudyInstanceUID", as_stored(study)),
            ("Series", "SeriesInstanceUID", as_stored(series)),
            ("Objects", "SOPInstanceUID", as_stored(objects))]


def main():
    database, fallback_date, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    connection = sqlite3.connect(database)
    connection.text_factory = lambda b: b.decode("latin-1")
    today = time.strftime("%Y%m%d")
    differences = 0
    for path in files:
        ds = pydicom.dcmread(path)
        for table, key, row in expected(ds, fallback_date, today):
            found = connection.execute("SELECT * FROM %s WHERE %s=?" % (table, key),
                                       (row[0],)).fetchall()
            if len(found) != 1:
                print("%s: %d %s rows for %s" % (path, len(found), table, row[0]))
                differences += 1
                continue
            names = [d[0] for d in connection.execute("SELECT * FROM %s" % table).description]
            for name, want, got in zip(names, row, found[0]):
                if want != got:
                    print("%s: %s.%s is %r, expected %r" % (path, table, name, got, want))
                    differences += 1
    sys.exit(1 if differences else 0)


if __name__ == "__main__":
    main()
