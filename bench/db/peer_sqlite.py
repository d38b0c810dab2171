"""The peer of bench_db: the same registration and query work done by Python's sqlite3 module
over the same libsqlite3, beside our figures (read from bench_db's output on stdin) as ratios.

Registration: in write-ahead logging with synchronous FULL, one connection per study of 100
objects (as our server keeps one per association), and per object the three look-ups and the
three INSERT OR IGNORE statements with bound values (the merge UPDATE for a known study), as
RegisterinDB does, into a fresh database with the schema (indexes included) copied from the
bench's ecg.db.
Queries: per query one read-only connection with the pragmas and the statement our query
translation builds, on the bench's database of 100,000 studies, before the added indexes
(before.db) and with them (ecg.db).

Usage: bench_db WORK | peer_sqlite.py WORK
"""
import re
import sqlite3
import statistics
import sys
import time

STUDIES = 20
WRITER_PRAGMAS = ("PRAGMA journal_mode = WAL", "PRAGMA synchronous = FULL",
                  "PRAGMA temp_store = MEMORY")
READER_PRAGMAS = ("PRAGMA synchronous = FULL", "PRAGMA temp_store = MEMORY")


def connect(path, read_only=False):
    uri = "file:%s?mode=%s" % (path, "ro" if read_only else "rw")
    connection = sqlite3.connect(uri, uri=True, isolation_level=None)
    for pragma in READER_PRAGMAS if read_only else WRITER_PRAGMAS:
        connection.execute(pragma)
    return connection


def insert(connection, table, values):
    marks = ", ".join("?" * len(values))
    connection.execute("INSERT OR IGNORE INTO %s (%s) VALUES (%s)"
                       % (table, ", ".join(name for name, _ in values), marks),
                       [value for _, value in values])


def found(connection, table, column, value):
    query = "SELECT * FROM %s WHERE %s.%s=?" % (table, table, column)
    return connection.execute(query, (value,)).fetchone() is not None


def register(connection, study, series, image, today):
    study_uid = "1.2.826.0.1.99.%d" % study
    series_uid = "%s.%d" % (study_uid, series)
    sop_uid = "%s.%d" % (series_uid, image)
    if found(connection, "Study", "StudyInstanceUID", study_uid):
        connection.execute(
            "UPDATE Study SET StudyModality=COALESCE(StudyModality, '') || '-' || ? WHERE "
            "StudyInstanceUID=? AND "
            "instr(CAST(COALESCE(StudyModality, '') AS BLOB), CAST(? AS BLOB)) = 0",
            ("ECG", study_uid, "ECG"))
    else:
        insert(connection, "Study", [
            ("StudyInstanceUID", study_uid), ("StudyDate", "20240105"), ("StudyTime", ""),
            ("StudyID", ""), ("StudyDescription", ""), ("AccessionNumber", ""),
            ("ReferPhysician", ""), ("StudyModality", "ECG"), ("StationName", ""),
            ("InstitutionName", ""), ("StudyPath", "ABCDEF01"), ("PatientID", "PID%d" % study),
            ("PatientName", "PATIENT^%d" % study), ("PatientSex", ""), ("PatientBD", "")])
    if not found(connection, "Series", "SeriesInstanceUID", series_uid):
        insert(connection, "Series", [
            ("SeriesInstanceUID", series_uid), ("SeriesNumber", str(series)), ("SeriesDate", ""),
            ("SeriesTime", ""), ("SeriesDescription", ""), ("Modality", "ECG"),
            ("InstitutionName", ""), ("Manufacturer", ""), ("ModelName", ""),
            ("BodyPartExamined", ""), ("ProtocolName", ""),
            ("SeriesPath", "20240105/ABCDEF01/ABCDEF02"), ("StudyInstanceUID", study_uid)])
    if not found(connection, "Objects", "SOPInstanceUID", sop_uid):
        insert(connection, "Objects", [
            ("SOPInstanceUID", sop_uid), ("SOPClassUID", "1.2.840.10008.5.1.4.1.1.9.1.1"),
            ("ImageNumber", str(image)), ("ContentDate", ""), ("ContentTime", ""),
            ("AcquisitionNumber", "0"), ("AcquisitionDate", ""), ("AcquisitionTime", ""),
            ("SliceLocation", ""), ("ReceivedDate", today), ("SeriesInstanceUID", series_uid),
            ("StudyInstanceUID", study_uid), ("ConvolutionKernel", ""), ("BackupStatus", "0"),
            ("KeyObject", "N")])


def registration_rate(work):
    path = work + "/peer.db"
    # Closed at once: a connection left open would make every later opening of ecg.db cheaper.
    source = sqlite3.connect(work + "/database/ecg.db")
    schema = source.execute(
        "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY rowid").fetchall()
    source.close()
    fresh = sqlite3.connect(path, isolation_level=None)
    fresh.execute("PRAGMA journal_mode = WAL")
    for (statement,) in schema:
        fresh.execute(statement)
    fresh.close()
    today = time.strftime("%Y%m%d")
    start = time.perf_counter()
    for study in range(STUDIES):
        connection = connect(path)
        for series in range(1, 11):
            for image in range(1, 11):
                register(connection, study, series, image, today)
        connection.close()
    return STUDIES * 100 / (time.perf_counter() - start)


def median_query_ms(path, statement, value, runs=51):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        connection = connect(path, read_only=True)
        connection.execute("PRAGMA busy_timeout = 10000")
        rows = [";".join("" if v is None else str(v) for v in row) + ";"
                for row in connection.execute(statement, (value,))]
        connection.close()
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times), len(rows)


def our_figure(text, pattern):
    match = re.search(pattern, text)
    return float(match.group(1)) if match else None


def main():
    work = sys.argv[1]
    ours = sys.stdin.read()
    figures = [
        ("registration, WAL, synchronous FULL, a connection per association", "objects/s",
         registration_rate(work),
         our_figure(ours, r"registration, durable \(WAL, synchronous FULL\), a connection per "
                          r"association: ([\d.]+) objects/s"), True),
    ]
    by_patient_id = ("SELECT PatientID, PatientName, StudyInstanceUID  from Study  "
                     "WHERE PatientID LIKE ? ORDER BY PatientName", "PID54321%")
    queries = [
        ("STUDY by PatientID, without the added indexes", work + "/before.db",
         r"STUDY by PatientID, without the added indexes: median ([\d.]+) ms", by_patient_id),
        ("STUDY by PatientID", work + "/database/ecg.db", r"STUDY by PatientID: median ([\d.]+) ms",
         by_patient_id),
        ("SERIES by StudyInstanceUID", work + "/database/ecg.db",
         r"SERIES by StudyInstanceUID: median ([\d.]+) ms",
         ("SELECT StudyInstanceUID, SeriesInstanceUID, SeriesNumber  from Series  "
          "WHERE StudyInstanceUID = ?", "1.2.826.0.1.99.54321")),
        ("IMAGE by SeriesInstanceUID", work + "/database/ecg.db",
         r"IMAGE by SeriesInstanceUID: median ([\d.]+) ms",
         ("SELECT SeriesInstanceUID, SOPInstanceUID  from Objects  WHERE SeriesInstanceUID = ?",
          "1.2.826.0.1.99.42.1")),
    ]
    for name, database, pattern, (statement, value) in queries:
        median, _ = median_query_ms(database, statement, value)
        figures.append((name, "ms median", median, our_figure(ours, pattern), False))
    for name, unit, peer, mine, higher_is_better in figures:
        if mine is None:
            print("%s: peer %.3f %s (our figure missing)" % (name, peer, unit))
            continue
        ratio = mine / peer if higher_is_better else peer / mine
        print("%s: ours %.3f, Python sqlite3 %.3f %s; speed ratio (ours / peer) %.2f"
              % (name, mine, peer, unit, ratio))


if __name__ == "__main__":
    main()
