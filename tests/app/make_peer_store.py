"""Fills a folder with the remote peer's studies: the sample ECG, an HD variant of it (its own
study) and a CT image; and a study of two modalities, an ECG series beside a text report
(mixed-ecg.dcm, mixed-sr.dcm)."""
import os
import shutil
import sys

import pydicom
from pydicom.data import get_testdata_file
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
ecg = get_testdata_file("waveform_ecg.dcm")
shutil.copy(ecg, os.path.join(folder, "ecg.dcm"))
shutil.copy(get_testdata_file("CT_small.dcm"), os.path.join(folder, "ct.dcm"))
ds = pydicom.dcmread(ecg)
ds.Modality = "HD"
ds.PatientName = "Heart^Dynamics"
ds.SOPInstanceUID = "1.2.826.0.1.3680043.8.498.77.1"
ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
ds.StudyInstanceUID = "1.2.826.0.1.3680043.8.498.77.2"
ds.SeriesInstanceUID = "1.2.826.0.1.3680043.8.498.77.3"
ds.save_as(os.path.join(folder, "hd.dcm"), write_like_original=False)

mixed_study = "1.2.826.0.1.3680043.8.498.78.2"
ds = pydicom.dcmread(ecg)
ds.PatientName = "Mixed^Modalities"
ds.SOPInstanceUID = "1.2.826.0.1.3680043.8.498.78.1"
ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
ds.StudyInstanceUID = mixed_study
ds.SeriesInstanceUID = "1.2.826.0.1.3680043.8.498.78.3"
ds.save_as(os.path.join(folder, "mixed-ecg.dcm"), write_like_original=False)

sr = Dataset()
sr.file_meta = FileMetaDataset()
sr.file_meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.88.11"  # Basic Text SR
sr.file_meta.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.8.498.78.4"
sr.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
sr.SOPClassUID = sr.file_meta.MediaStorageSOPClassUID
sr.SOPInstanceUID = sr.file_meta.MediaStorageSOPInstanceUID
sr.Modality = "SR"
for keyword in ("PatientName", "PatientID", "PatientBirthDate", "PatientSex", "StudyDate",
                "StudyTime", "AccessionNumber", "StudyID", "ReferringPhysicianName"):
    setattr(sr, keyword, getattr(ds, keyword, ""))
sr.StudyInstanceUID = mixed_study
sr.SeriesInstanceUID = "1.2.826.0.1.3680043.8.498.78.5"
sr.SeriesNumber = 2
sr.InstanceNumber = 1
sr.Manufacturer = ""
sr.ContentDate = sr.StudyDate
sr.ContentTime = sr.StudyTime
sr.ReferencedPerformedProcedureStepSequence = []
sr.PerformedProcedureCodeSequence = []
title = Dataset()
title.CodeValue = "11528-7"
title.CodingSchemeDesignator = "LN"
title.CodeMeaning = "Radiology Report"
sr.ConceptNameCodeSequence = [title]
sr.ValueType = "CONTAINER"
sr.ContinuityOfContent = "SEPARATE"
sr.CompletionFlag = "COMPLETE"
sr.VerificationFlag = "UNVERIFIED"
sr.save_as(os.path.join(folder, "mixed-sr.dcm"), write_like_original=False)
