#!/usr/bin/python3
"""Images in compressed and native transfer syntaxes for the C-MOVE conversion tests, with the
pixels an independent decoder gives for each, and the check of what a destination received.

  conversion_fixtures.py make OUTDIR
      OUTDIR/decode/*.dcm    JPEG (lossless, baseline), RLE and JPEG 2000 (lossless, lossy)
                             objects of one study, made by dcmcjpeg, dcmcrle and opj_compress
      OUTDIR/encode/*.dcm    one series: a JPEG lossless object first, then native ones
      OUTDIR/refs/<uid>.npy  the reference pixels of each object: dcmdjpeg/dcmdrle output for
                             JPEG and RLE, pydicom's decoding for JPEG 2000, the pixels
                             themselves for native objects
      OUTDIR/refs/<uid>.txt  "<tolerance> <photometric interpretation>"
  conversion_fixtures.py compare RECEIVED REFS SYNTAX COUNT
      Every file in RECEIVED must be in SYNTAX and, decoded by dcmdjpeg when it is compressed,
      equal its reference within the tolerance; COUNT files are expected. Prints one line per
      object and exits 1 on any difference.
"""
import os
import subprocess
import sys
import tempfile
import warnings

import numpy as np
import pydicom
from pydicom.data import get_testdata_file
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.encaps import encapsulate
from pydicom.uid import ExplicitVRLittleEndian

ROOT = "1.2.826.0.1.3680043.8.498.7.20"
DECODE_STUDY = ROOT + ".1"
ENCODE_STUDY = ROOT + ".2"
SECONDARY_CAPTURE = "1.2.840.10008.5.1.4.1.1.7"
J2K_LOSSLESS = "1.2.840.10008.1.2.4.90"
J2K_LOSSY = "1.2.840.10008.1.2.4.91"


def image(sop, study, series, pixels, bits_stored=None, signed=False, rgb=False):
    """A Secondary Capture object in explicit VR little endian holding `pixels`
    (frames, rows, columns[, 3])."""
    ds = Dataset()
    ds.file_meta = FileMetaDataset()
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.file_meta.MediaStorageSOPClassUID = SECONDARY_CAPTURE
    ds.file_meta.MediaStorageSOPInstanceUID = sop
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.SOPClassUID = SECONDARY_CAPTURE
    ds.SOPInstanceUID = sop
    ds.StudyInstanceUID = study
    ds.SeriesInstanceUID = series
    ds.PatientName = "CODEC^TEST"
    ds.PatientID = "P020"
    ds.StudyDate = "20240105"
    ds.Modality = "OT"
    frames, rows, columns = pixels.shape[:3]
    ds.Rows = rows
    ds.Columns = columns
    if frames > 1:
        ds.NumberOfFrames = frames
    allocated = pixels.dtype.itemsize * 8
    ds.BitsAllocated = allocated
    ds.BitsStored = bits_stored or allocated
    ds.HighBit = ds.BitsStored - 1
    ds.PixelRepresentation = 1 if signed else 0
    ds.SamplesPerPixel = 3 if rgb else 1
    ds.PhotometricInterpretation = "RGB" if rgb else "MONOCHROME2"
    if rgb:
        ds.PlanarConfiguration = 0
    ds.PixelData = pixels.astype(pixels.dtype.newbyteorder("<")).tobytes()
    return ds


def ramp(frames, rows, columns, low, high, dtype, samples=1, seed=0):
    """Smooth gradients plus noise over [low, high]: compressible, yet every bit in use."""
    rng = np.random.default_rng(seed)
    shape = (frames, rows, columns) + ((samples,) if samples > 1 else ())
    y = np.linspace(0.0, 1.0, rows)[None, :, None]
    x = np.linspace(0.0, 1.0, columns)[None, None, :]
    f = np.arange(frames)[:, None, None] / max(frames, 1)
    base = (x * 0.6 + y * 0.3 + f * 0.1) % 1.0
    if samples > 1:
        base = np.stack([base, base[:, ::-1, :], 1.0 - base], axis=-1)
    values = low + base * (high - low) + rng.normal(0, (high - low) * 0.02, shape)
    values = np.clip(np.rint(values), low, high)
    values.flat[0], values.flat[-1] = low, high
    return values.astype(dtype)


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def write_ref(refs, sop, pixels, tolerance, photometric):
    np.save(os.path.join(refs, sop + ".npy"), pixels)
    with open(os.path.join(refs, sop + ".txt"), "w") as f:
        f.write("%d %s\n" % (tolerance, photometric))


def dcmtk_pair(ds, out, refs, name, encoder, decoder, tolerance, work):
    """Compresses `ds` with a dcmtk tool into out/name; the reference is dcmtk's decoding."""
    plain = os.path.join(work, "plain.dcm")
    ds.save_as(plain, write_like_original=False)
    target = os.path.join(out, name)
    run(*encoder, plain, target)
    decoded = os.path.join(work, "decoded.dcm")
    run(decoder, target, decoded)
    reference = pydicom.dcmread(decoded)
    write_ref(refs, ds.SOPInstanceUID, reference.pixel_array, tolerance,
              reference.PhotometricInterpretation)


def j2k_object(ds, out, refs, name, pixels, options, syntax, work):
    """Encodes the single-frame `pixels` with opj_compress into a JPEG 2000 object; the
    reference is pydicom's decoding of it (through Pillow and openjp2)."""
    frame = pixels[0]
    signed = ds.PixelRepresentation == 1
    rgb = ds.SamplesPerPixel == 3
    if rgb:
        source = os.path.join(work, "frame.ppm")
        with open(source, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (ds.Columns, ds.Rows) + frame.tobytes())
        layout = []
    else:
        source = os.path.join(work, "frame.rawl")
        frame.astype(frame.dtype.newbyteorder("<")).tofile(source)
        layout = ["-F", "%d,%d,1,%d,%s" % (ds.Columns, ds.Rows, ds.BitsStored,
                                           "s" if signed else "u")]
    stream = os.path.join(work, "frame.j2k")
    # Fewer resolutions than opj_compress's default of 6 for images under 32 pixels.
    resolutions = ["-n", str(min(6, int(np.log2(min(ds.Rows, ds.Columns))) + 1))]
    run("opj_compress", "-i", source, "-o", stream, *layout, *resolutions, *options)
    with open(stream, "rb") as f:
        codestream = f.read()
    ds.PixelData = encapsulate([codestream])
    ds["PixelData"].VR = "OB"
    ds["PixelData"].is_undefined_length = True
    ds.file_meta.TransferSyntaxUID = syntax
    ds.is_implicit_VR = False
    if syntax == J2K_LOSSY:
        ds.LossyImageCompression = "01"
    ds.save_as(os.path.join(out, name), write_like_original=False)
    decoded = pydicom.dcmread(os.path.join(out, name)).pixel_array
    if syntax == J2K_LOSSLESS and not np.array_equal(decoded.reshape(frame.shape), frame):
        raise SystemExit("pydicom does not decode %s to its source pixels" % name)
    write_ref(refs, ds.SOPInstanceUID, decoded, 1 if syntax == J2K_LOSSY else 0,
              ds.PhotometricInterpretation)


def make_decode_set(out, refs, work):
    series = DECODE_STUDY + ".1"
    n = [0]

    def sop():
        n[0] += 1
        return "%s.%d" % (series, n[0])

    grey8 = ramp(3, 17, 33, 0, 255, np.uint8, seed=1)
    grey12 = ramp(1, 24, 31, 0, 4095, np.uint16, seed=2)
    signed16 = ramp(1, 20, 19, -2000, 3000, np.int16, seed=3)
    rgb8 = ramp(1, 20, 31, 0, 255, np.uint8, samples=3, seed=4)
    rgb8_frames = ramp(3, 9, 11, 0, 255, np.uint8, samples=3, seed=5)
    grey16 = ramp(1, 33, 17, 0, 65535, np.uint16, seed=6)
    one_pixel = np.array([[[200]]], dtype=np.uint8)

    def obj(pixels, **kw):
        return image(sop(), DECODE_STUDY, series, pixels, **kw)

    jpeg_lossless = ["dcmcjpeg", "+e1"]
    baseline = ["dcmcjpeg", "+eb", "+un"]  # keeps the SOP Instance UID the reference is filed by
    cases = [
        # CT from pydicom's samples: 16-bit signed, with rescale attributes.
        ("ct_jpeg_lossless.dcm", None, jpeg_lossless, "dcmdjpeg", 0),
        ("grey8_frames_jpeg_lossless.dcm", obj(grey8), jpeg_lossless, "dcmdjpeg", 0),
        ("grey12_jpeg_lossless.dcm", obj(grey12, bits_stored=12), jpeg_lossless, "dcmdjpeg", 0),
        ("signed16_jpeg_lossless.dcm", obj(signed16, signed=True), jpeg_lossless, "dcmdjpeg", 0),
        ("rgb8_jpeg_lossless.dcm", obj(rgb8, rgb=True), jpeg_lossless, "dcmdjpeg", 0),
        ("grey8_frames_jpeg_baseline.dcm", obj(grey8), baseline, "dcmdjpeg", 1),
        ("rgb8_jpeg_baseline.dcm", obj(rgb8, rgb=True), baseline, "dcmdjpeg", 1),
        ("ct_rle.dcm", None, ["dcmcrle"], "dcmdrle", 0),
        ("grey8_frames_rle.dcm", obj(grey8), ["dcmcrle"], "dcmdrle", 0),
        ("one_pixel_rle.dcm", obj(one_pixel), ["dcmcrle"], "dcmdrle", 0),
        ("rgb8_frames_rle.dcm", obj(rgb8_frames, rgb=True), ["dcmcrle"], "dcmdrle", 0),
        ("grey16_rle.dcm", obj(grey16), ["dcmcrle"], "dcmdrle", 0),
    ]
    for name, ds, encoder, decoder, tolerance in cases:
        if ds is None:
            ds = pydicom.dcmread(get_testdata_file("CT_small.dcm"))
            ds.StudyInstanceUID = DECODE_STUDY
            ds.SeriesInstanceUID = series
            ds.SOPInstanceUID = sop()
            ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
            ds.PatientID = "P020"
        dcmtk_pair(ds, out, refs, name, encoder, decoder, tolerance, work)
    j2k_cases = [
        ("grey16_j2k_lossless.dcm", obj(grey16), grey16, [], J2K_LOSSLESS),
        ("signed16_j2k_lossless.dcm", obj(signed16, signed=True), signed16, [], J2K_LOSSLESS),
        ("rgb8_j2k_lossless.dcm", obj(rgb8, rgb=True), rgb8, ["-mct", "0"], J2K_LOSSLESS),
        ("grey12_j2k_lossy.dcm", obj(grey12, bits_stored=12), grey12, ["-I", "-r", "8"],
         J2K_LOSSY),
    ]
    for name, ds, pixels, options, syntax in j2k_cases:
        j2k_object(ds, out, refs, name, pixels, options, syntax, work)


def make_encode_set(out, refs, work):
    """A series whose first object is JPEG lossless and whose others are native, all of one
    class, so they share the association the first one opens."""
    series = ENCODE_STUDY + ".1"
    first = image(series + ".1", ENCODE_STUDY, series, ramp(1, 16, 16, 0, 255, np.uint8, seed=7))
    dcmtk_pair(first, out, refs, "1_first_jpeg_lossless.dcm", ["dcmcjpeg", "+e1"], "dcmdjpeg",
               0, work)
    natives = [
        ramp(3, 17, 33, 0, 255, np.uint8, seed=8),
        ramp(1, 24, 31, 0, 4095, np.uint16, seed=9),
        ramp(1, 20, 19, -2000, 3000, np.int16, seed=10),
        ramp(1, 33, 17, 0, 65535, np.uint16, seed=11),
        ramp(2, 20, 31, 0, 255, np.uint8, samples=3, seed=12),
        np.array([[[7]]], dtype=np.uint8),
    ]
    options = [{}, {"bits_stored": 12}, {"signed": True}, {}, {"rgb": True}, {}]
    for i, (pixels, kw) in enumerate(zip(natives, options), start=2):
        ds = image("%s.%d" % (series, i), ENCODE_STUDY, series, pixels, **kw)
        ds.save_as(os.path.join(out, "%d_native.dcm" % i), write_like_original=False)
        write_ref(refs, ds.SOPInstanceUID, pydicom.dcmread(os.path.join(out, "%d_native.dcm" % i))
                  .pixel_array, 0, ds.PhotometricInterpretation)


def make(out):
    warnings.simplefilter("ignore")
    decode, encode, refs = (os.path.join(out, d) for d in ("decode", "encode", "refs"))
    for folder in (decode, encode, refs):
        os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        make_decode_set(decode, refs, work)
        make_encode_set(encode, refs, work)


def compare(received, refs, syntax, count):
    warnings.simplefilter("ignore")
    files = sorted(os.listdir(received))
    ok = len(files) == count
    if not ok:
        print("FILES %d, expected %d" % (len(files), count))
    with tempfile.TemporaryDirectory() as work:
        for name in files:
            path = os.path.join(received, name)
            ds = pydicom.dcmread(path)
            sop = ds.SOPInstanceUID
            line = sop + " " + ds.file_meta.TransferSyntaxUID
            if ds.file_meta.TransferSyntaxUID != syntax:
                print(line + " WRONG SYNTAX")
                ok = False
                continue
            if ds.file_meta.TransferSyntaxUID.is_compressed:
                decoded = os.path.join(work, name)
                run("dcmdjpeg", path, decoded)
                ds = pydicom.dcmread(decoded)
            with open(os.path.join(refs, sop + ".txt")) as f:
                tolerance, photometric = f.read().split()
            reference = np.load(os.path.join(refs, sop + ".npy"))
            pixels = ds.pixel_array
            if ds.PhotometricInterpretation.strip() != photometric:
                print(line + " PHOTOMETRIC " + ds.PhotometricInterpretation)
                ok = False
            elif pixels.shape != reference.shape or pixels.dtype != reference.dtype:
                print(line + " SHAPE %s %s, expected %s %s"
                      % (pixels.shape, pixels.dtype, reference.shape, reference.dtype))
                ok = False
            else:
                worst = int(np.max(np.abs(pixels.astype(np.int64) - reference.astype(np.int64))))
                print(line + " max difference %d (allowed %s)" % (worst, tolerance))
                ok = ok and worst <= int(tolerance)
    return 0 if ok else 1


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        sys.exit(compare(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])))
