"""Writes an object whose Request Attributes Sequence (undefined length, with an undefined-length
sequence nested in its item) carries another study's UID and accession number after the
top-level ones.

Usage: make_nested.py OUTPUT.dcm
"""
import sys

from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian


def undefined(dataset, keyword):
    dataset[keyword].is_undefined_length = True
    for item in dataset[keyword].value:
        item.is_undefined_length_sequence_item = True


inner = Dataset()
inner.ReferencedSOPInstanceUID = "9.9.9.1"
request = Dataset()
request.AccessionNumber = "OTHERACC"
request.ReferencedStudySequence = Sequence([inner])
undefined(request, "ReferencedStudySequence")
request.StudyInstanceUID = "9.9.9"
request.SeriesInstanceUID = "9.9.9.2"
request.RequestedProcedureID = "RP1"

ds = Dataset()
ds.SOPClassUID = "1.2.840.10008.5.1.4.1.1.9.1.1"
ds.SOPInstanceUID = "1.2.3.4.5.6"
ds.StudyDate = "20240105"
ds.AccessionNumber = "ACC1"
ds.Modality = "ECG"
ds.PatientName = "DOE^JOHN"
ds.PatientID = "PID1"
ds.StudyInstanceUID = "1.2.3"
ds.SeriesInstanceUID = "1.2.3.4"
ds.SeriesNumber = "1"
ds.InstanceNumber = "3"
ds.RequestAttributesSequence = Sequence([request])
undefined(ds, "RequestAttributesSequence")

ds.file_meta = FileMetaDataset()
ds.file_meta.MediaStorageSOPClassUID = ds.SOPClassUID
ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
ds.is_little_endian = True
ds.is_implicit_VR = False
ds.save_as(sys.argv[1], write_like_original=False)
