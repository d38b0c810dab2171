#!/usr/bin/python3
"""Writes one ECG object per case of hostile, missing and odd-but-valid key values, for the
C-STORE service (sent with storescu) and the folder import alike, and a table of them.

Usage: make_store_key_cases.py OUTDIR

OUTDIR/<name>.dcm for each case, and OUTDIR/cases.txt with one line per case:
<name> TAB <1 when it must be kept, 0 when refused> TAB <SOP Instance UID> TAB <Study Instance UID>
TAB <storescu's reading of the C-STORE status> TAB <Series Instance UID> TAB <Patient ID>
TAB <1 for a re-send, 0 otherwise> TAB <the start of the line its refusal logs, or empty>
Every case has a study, series and instance of its own, so the rows of one never meet another's,
except the re-sends: objects that come after the case they name, under its SOP Instance UID or
its study. They are written into OUTDIR/resend/, to be sent or imported after the others.
"""
import os
import sys
import warnings

import pydicom
from pydicom.data import get_testdata_file

ROOT = "1.2.826.0.1.3680043.8.498.13"
MISSING = None

# name, kept, changes (a keyword and its value; MISSING removes the element), and storescu's
# reading of the status where it is not that of a kept or a refused object. A value given as
# bytes, which pydicom would not write as it stands, is put into the saved file in place of a
# placeholder of its length.
CASES = [
    ("ordinary_date", True, {}),
    ("dotted_date", True, {"StudyDate": "2024.01.02"}),
    ("dashed_date", True, {"StudyDate": "2024-01-02"}),
    ("leading_zero_uid", True, {"SOPInstanceUID": ROOT + ".0.01.002"}),
    ("long_component_uid", True, {"SOPInstanceUID": ROOT + "." + "9" * 30}),
    ("quote_in_date", False, {"StudyDate": "2024'0102"}),
    ("semicolon_in_date", False, {"StudyDate": "2024;0102"}),
    ("blank_in_date", False, {"StudyDate": "2024 0102"}),
    ("control_byte_in_date", False, {"StudyDate": b"2024\x010102"}),
    ("high_byte_in_date", False, {"StudyDate": b"2024\xe90102"}),
    ("dots_as_date", False, {"StudyDate": ".."}),
    ("dot_uid", False, {"SOPInstanceUID": "."}),
    ("leading_dot_uid", False, {"SOPInstanceUID": "." + ROOT + ".1"}),
    ("trailing_dot_uid", False, {"SOPInstanceUID": ROOT + ".2."}),
    ("empty_component_uid", False, {"SOPInstanceUID": ROOT + "..3"}),
    # storescu cuts the command's Affected SOP Instance UID to 64 characters, so the data set is
    # not the object the command announces.
    ("too_long_uid", False, {"SOPInstanceUID": ROOT + "." + "9" * 40},
     "Error: DataSetDoesNotMatchSOPClass"),
    ("missing_study_uid", False, {"StudyInstanceUID": MISSING}),
    ("empty_study_uid", False, {"StudyInstanceUID": ""}),
    ("missing_series_uid", False, {"SeriesInstanceUID": MISSING}),
    ("empty_series_uid", False, {"SeriesInstanceUID": ""}),
    # A first object, then objects that would give its SOP Instance UID or its study another
    # identity: each refused, the first left as it was. The unchanged re-send is stored again.
    ("identity_first", True, {}),
]
FIRST = len(CASES)
# name, kept, what the re-send takes from the first object ("sop", "study", "series",
# "patient"), changes, the start of the refusal's log line ("{sop}" and "{study}" filled in).
SAME_SOP = "ERROR, SOPInstanceUID already stored for another study, series or patient: {sop}, "
SAME_STUDY = "ERROR, StudyInstanceUID already stored for another patient: {study}, "
RESENDS = [
    ("identity_unchanged", True, ("sop", "study", "series", "patient"),
     {"ContentTime": "235959"}, ""),
    ("identity_other_study", False, ("sop",), {}, SAME_SOP),
    ("identity_other_series", False, ("sop", "study", "patient"), {}, SAME_SOP),
    ("identity_other_patient", False, ("sop", "study", "series"), {}, SAME_SOP),
    # The first's Study Instance UID and a quote, which registration stores as a blank: as
    # stored, the two differ only by a trailing blank (storescu takes blanks out of UIDs).
    ("identity_quote_in_study_uid", False, ("sop", "series", "patient"),
     {"StudyInstanceUID": "%s.%d'" % (ROOT, FIRST)}, SAME_SOP),
    ("identity_new_object_other_patient", False, ("study",), {}, SAME_STUDY),
]


def make(number, changes):
    ds = pydicom.dcmread(get_testdata_file("waveform_ecg.dcm"))
    ds.PatientID = "P13-%d" % number
    ds.PatientName = "KEY^CASE%d" % number
    ds.StudyDate = "20240102"
    ds.StudyInstanceUID = "%s.%d" % (ROOT, number)
    ds.SeriesInstanceUID = "%s.%d.1" % (ROOT, number)
    ds.SOPInstanceUID = "%s.%d.1.1" % (ROOT, number)
    for keyword, value in changes.items():
        if value is MISSING:
            delattr(ds, keyword)
        elif isinstance(value, bytes):
            setattr(ds, keyword, "#" * len(value))
        else:
            setattr(ds, keyword, value)
    ds.file_meta.MediaStorageSOPClassUID = ds.SOPClassUID
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    return ds


def resend(number, taken, changes):
    ds = make(number, {})
    first = make(FIRST, {})
    keywords = {"sop": "SOPInstanceUID", "study": "StudyInstanceUID",
                "series": "SeriesInstanceUID", "patient": "PatientID"}
    for what in taken:
        setattr(ds, keywords[what], getattr(first, keywords[what]))
    for keyword, value in changes.items():
        setattr(ds, keyword, value)
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    return ds


def main(out):
    warnings.simplefilter("ignore")
    os.makedirs(os.path.join(out, "resend"), exist_ok=True)
    cases = [(name, kept, changes, peer, None) for name, kept, changes, *peer in CASES]
    cases += [(name, kept, changes, [] if kept else ["Error: CannotUnderstand"], (taken, line))
              for name, kept, taken, changes, line in RESENDS]
    with open(os.path.join(out, "cases.txt"), "w") as table:
        for number, (name, kept, changes, peer, again) in enumerate(cases, 1):
            response = peer[0] if peer else "Success" if kept else "Refused: OutOfResources"
            ds = make(number, changes) if again is None else resend(number, again[0], changes)
            path = os.path.join(out, "resend" if again else "", name + ".dcm")
            ds.save_as(path, write_like_original=False)
            for value in changes.values():
                if isinstance(value, bytes):
                    with open(path, "rb") as saved:
                        data = saved.read()
                    assert data.count(b"#" * len(value)) == 1
                    with open(path, "wb") as patched:
                        patched.write(data.replace(b"#" * len(value), value))
            study = ds.get("StudyInstanceUID", "")
            line = again[1].format(sop=ds.SOPInstanceUID, study=study) if again else ""
            table.write("%s\t%d\t%s\t%s\t%s\t%s\t%s\t%d\t%s\n" %
                        (name, kept, ds.SOPInstanceUID, study, response,
                         ds.get("SeriesInstanceUID", ""), ds.PatientID, again is not None, line))


if __name__ == "__main__":
    main(sys.argv[1])
