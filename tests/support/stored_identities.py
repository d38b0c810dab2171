#!/usr/bin/python3
"""Prints, for every file under an image store, what the file itself says it is:
<path relative to STORE>|<SOP Instance UID>|<Study Instance UID>|<Series Instance UID>|<Patient ID>

Usage: stored_identities.py STORE
"""
import os
import sys
import warnings

import pydicom


def main(store):
    warnings.simplefilter("ignore")
    for folder, _, names in os.walk(store):
        for name in names:
            path = os.path.join(folder, name)
            try:
                ds = pydicom.dcmread(path)
                keys = [str(ds.get(k, "")).strip(" \0") for k in
                        ("SOPInstanceUID", "StudyInstanceUID", "SeriesInstanceUID", "PatientID")]
            except Exception as error:  # the file is not an object: show it as such
                keys = ["unreadable: %s" % error] + [""] * 3
            print("|".join([os.path.relpath(path, store)] + keys))


if __name__ == "__main__":
    main(sys.argv[1])
