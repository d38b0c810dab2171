"""Builds a folder tree for the folder import from pydicom's sample files.

root/ecg.dcm            the 12-lead sample (ECG)
root/ct.dcm             a CT image (skipped: modality)
root/dicomdir           a DICOMDIR (skipped: name, in any case)
root/.hidden_hd.dcm     an HD variant in a dot-file (imported)
root/sub/lower.dcm      modality "ecg" (skipped: case-sensitive)
root/sub/nodate.dcm     no Study Date (imported under today's folder)
root/sub/evil.dcm       SOP Instance UID "../../evil" (skipped with an error)
root/sub/semi.dcm       Patient ID "A;B" (imported)
root/sub/DicomDir       a DICOMDIR cut short (skipped, with the read's error line)
root/sub/fifo           a FIFO (never opened)
root/sub/loop -> ..     a link to a folder (never followed)
"""
import os
import shutil
import sys

import pydicom
from pydicom.data import get_testdata_file

root = sys.argv[1]
os.makedirs(os.path.join(root, "sub"))
ecg = get_testdata_file("waveform_ecg.dcm")
shutil.copy(ecg, os.path.join(root, "ecg.dcm"))
shutil.copy(get_testdata_file("CT_small.dcm"), os.path.join(root, "ct.dcm"))
shutil.copy(os.path.join(os.path.dirname(ecg), "dicomdirtests", "DICOMDIR"),
            os.path.join(root, "dicomdir"))


def variant(path, number, **changes):
    ds = pydicom.dcmread(ecg)
    ds.SOPInstanceUID = "1.2.826.0.1.3680043.8.498.%d.1" % number
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    ds.StudyInstanceUID = "1.2.826.0.1.3680043.8.498.%d.2" % number
    ds.SeriesInstanceUID = "1.2.826.0.1.3680043.8.498.%d.3" % number
    for key, value in changes.items():
        if value is None:
            delattr(ds, key)
        else:
            setattr(ds, key, value)
    ds.save_as(os.path.join(root, path), write_like_original=False)


variant(".hidden_hd.dcm", 1, Modality="HD", PatientName="Hidden^Heart")
variant("sub/lower.dcm", 2, Modality="ecg")
variant("sub/nodate.dcm", 3, StudyDate=None, PatientName="No^Date")
variant("sub/evil.dcm", 4)
ds = pydicom.dcmread(os.path.join(root, "sub/evil.dcm"))
ds.SOPInstanceUID = "../../evil"
ds.save_as(os.path.join(root, "sub/evil.dcm"))
variant("sub/semi.dcm", 5, PatientID="A;B", PatientName="Semi^Colon")
# The last element's value is cut short, which makes the read fail.
broken = os.path.join(root, "sub", "DicomDir")
ds = pydicom.Dataset()
ds.file_meta = pydicom.dcmread(ecg).file_meta
ds.PatientName = "Broken^Dir"
ds.save_as(broken, write_like_original=False)
with open(broken, "rb") as whole:
    data = whole.read()
with open(broken, "wb") as cut:
    cut.write(data[:-3])
os.mkfifo(os.path.join(root, "sub", "fifo"))
os.symlink("..", os.path.join(root, "sub", "loop"))
