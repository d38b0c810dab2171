#!/usr/bin/python3
"""Writes the ECG and image objects the peer tests send, built with pydicom from its own
sample files. Usage: make_fixtures.py OUTDIR"""
import os
import warnings
import subprocess
import sys

import pydicom
from pydicom.data import get_testdata_file
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence

ROOT = "1.2.826.0.1.3680043.8.498.7"
STUDY = ROOT + ".1"
SERIES_A = ROOT + ".1.1"
SERIES_B = ROOT + ".1.2"
GENERAL_ECG = "1.2.840.10008.5.1.4.1.1.9.1.2"
HEMODYNAMIC = "1.2.840.10008.5.1.4.1.1.9.2.1"
CARDIAC_EP = "1.2.840.10008.5.1.4.1.1.9.3.1"


def ecg(sop, study=STUDY, series=SERIES_A, **changes):
    ds = pydicom.dcmread(get_testdata_file("waveform_ecg.dcm"))
    ds.PatientID = "P001"
    ds.PatientName = "DOE^JOHN^^^"
    ds.StudyDate = "20240102"
    ds.StudyInstanceUID = study
    ds.SeriesInstanceUID = series
    ds.SOPInstanceUID = sop
    ds.file_meta.MediaStorageSOPInstanceUID = sop
    for key, value in changes.items():
        if value is None:
            if key in ds:
                delattr(ds, key)
        else:
            setattr(ds, key, value)
    ds.file_meta.MediaStorageSOPClassUID = ds.SOPClassUID
    return ds


def nested_worklist_query(levels):
    """A worklist query whose Scheduled Station AE Title key sits `levels` Scheduled Procedure
    Step Sequences deep (each of defined length, so parsed as nested data sets)."""
    inner = Dataset()
    inner.ScheduledStationAETitle = "AA2"
    for _ in range(levels):
        outer = Dataset()
        outer.ScheduledProcedureStepSequence = Sequence([inner])
        inner = outer
    inner.PatientName = ""
    inner.file_meta = FileMetaDataset()
    inner.file_meta.TransferSyntaxUID = "1.2.840.10008.1.2.1"
    inner.file_meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.31"
    inner.file_meta.MediaStorageSOPInstanceUID = ROOT + ".9.%d" % levels
    inner.is_little_endian = True
    inner.is_implicit_VR = False
    return inner


def save(ds, out, name):
    ds.save_as(os.path.join(out, name), write_like_original=False)


def main(out):
    warnings.simplefilter("ignore")
    os.makedirs(out, exist_ok=True)
    save(ecg(ROOT + ".2.1"), out, "ecg_12lead.dcm")
    save(ecg(ROOT + ".2.2"), out, "ecg_12lead_b.dcm")
    save(ecg(ROOT + ".2.3", series=SERIES_B), out, "ecg_series_b.dcm")
    save(ecg(ROOT + ".2.9", series=SERIES_B), out, "ecg_series_b_2.dcm")
    # A General ECG object in the series of the 12-lead ones: a series of mixed classes.
    save(ecg(ROOT + ".2.10", SOPClassUID=GENERAL_ECG), out, "ecg_general.dcm")
    save(ecg(ROOT + ".2.4", PatientID=None), out, "ecg_no_patient_id.dcm")
    save(ecg(ROOT + ".2.5", study=ROOT + ".3", series=ROOT + ".3.1", StudyDate=None),
         out, "ecg_no_study_date.dcm")
    save(ecg(ROOT + ".2.6", study=ROOT + ".4", series=ROOT + ".4.1", StudyDate="../../x"),
         out, "ecg_traversal_date.dcm")
    save(ecg("1.2.3.4.5.6.7.8.9.10.11", study=ROOT + ".5", series=ROOT + ".5.1",
             SOPInstanceUID="1.2/../../../x"), out, "ecg_traversal_uid.dcm")
    save(ecg(ROOT + ".2.7", Modality="ECG'; DROP TABLE Series; --",
             PatientName="O'NEIL^ANN"), out, "ecg_sql.dcm")
    save(ecg(ROOT + ".2.11", study=ROOT + ".7", series=ROOT + ".7.1", PatientName="O'NEIL^ANN"),
         out, "ecg_quote_name.dcm")
    save(ecg(ROOT + ".2.8", PatientID=None, PatientName="EVIL\r\n10:00:00, forged"), out,
         "ecg_crlf_name.dcm")
    # Names written as DICOM writes them, each in a study of its own.
    save(ecg(ROOT + ".20.1", study=ROOT + ".20", series=ROOT + ".20.0", PatientName="SMITH^ANNA"),
         out, "ecg_smith.dcm")
    save(ecg(ROOT + ".21.1", study=ROOT + ".21", series=ROOT + ".21.0",
             PatientName="JONES^ANNA^^"), out, "ecg_jones.dcm")
    # One patient beyond ASCII, sent once in UTF-8 and once in Latin-1; and a name that the
    # folder import takes in as read.
    save(ecg(ROOT + ".22.1", study=ROOT + ".22", series=ROOT + ".22.0",
             SpecificCharacterSet="ISO_IR 192", PatientName="MÜLLER^JÖRG"), out,
         "ecg_mueller_utf8.dcm")
    save(ecg(ROOT + ".23.1", study=ROOT + ".23", series=ROOT + ".23.0",
             SpecificCharacterSet="ISO_IR 100", PatientName="MÜLLER^JÖRG"), out,
         "ecg_mueller_latin1.dcm")
    save(ecg(ROOT + ".24.1", study=ROOT + ".24", series=ROOT + ".24.0", PatientName="SCAN^ONE"),
         out, "ecg_scan_one.dcm")
    # Two patients whose names Latin-1 cannot hold, sent in UTF-8.
    save(ecg(ROOT + ".25.1", study=ROOT + ".25", series=ROOT + ".25.0", PatientID="P025",
             SpecificCharacterSet="ISO_IR 192", PatientName="Ελληνίδου^Ελένη"), out,
         "ecg_greek_utf8.dcm")
    save(ecg(ROOT + ".26.1", study=ROOT + ".26", series=ROOT + ".26.0", PatientID="P026",
             SpecificCharacterSet="ISO_IR 192", PatientName="Иванова^Ирина"), out,
         "ecg_cyrillic_utf8.dcm")
    # The sample's twelve leads as a hemodynamic recording, as real carts write them, and as a
    # cardiac electrophysiology one (a class the server refuses).
    save(ecg(ROOT + ".30.1", study=ROOT + ".30", series=ROOT + ".30.0", SOPClassUID=HEMODYNAMIC,
             Modality="HD", PatientID="P030"), out, "hd_12lead.dcm")
    save(ecg(ROOT + ".31.1", study=ROOT + ".31", series=ROOT + ".31.0", SOPClassUID=CARDIAC_EP,
             Modality="EPS", PatientID="P031"), out, "eps_12lead.dcm")
    # Worklist queries nested 20 and 40 sequences deep (40 and 80 levels of nested data sets).
    for levels in (20, 40):
        save(nested_worklist_query(levels), out, "wl_nested_%d.dcm" % levels)
    # Many objects of one study for parallel stores.
    bulk = os.path.join(out, "bulk")
    os.makedirs(bulk, exist_ok=True)
    for i in range(1, 49):
        save(ecg(ROOT + ".8.%d" % i, study=ROOT + ".8", series=ROOT + ".8.0"), bulk,
             "bulk_%02d.dcm" % i)
    # Images compressed by dcmtk, for conversion on C-MOVE: JPEG lossless (first-order
    # prediction) and RLE, each in a study of its own.
    for study, name, tool in (("6", "ct_jpeg_lossless.dcm", ["dcmcjpeg", "+e1"]),
                              ("10", "ct_rle.dcm", ["dcmcrle"])):
        ct = pydicom.dcmread(get_testdata_file("CT_small.dcm"))
        ct.PatientID = "P002"
        ct.StudyDate = "20240103"
        ct.StudyInstanceUID = ROOT + "." + study
        ct.SeriesInstanceUID = ROOT + "." + study + ".1"
        ct.SOPInstanceUID = ROOT + "." + study + ".1.1"
        ct.file_meta.MediaStorageSOPInstanceUID = ct.SOPInstanceUID
        plain = os.path.join(out, "ct_plain.dcm")
        ct.save_as(plain, write_like_original=False)
        subprocess.run(tool + [plain, os.path.join(out, name)], check=True)
        os.remove(plain)


if __name__ == "__main__":
    main(sys.argv[1])
