"""Writes a study database of `count` studies, each with one series and one object row, as a
site keeps years of ECGs: make_studies.py <database file> <count>. The tables are made by the
statements of db/Schema.h; names repeat across studies (one patient, several ECGs) and come in
mixed case and with accents, in Windows-1252 bytes as the program stores them."""
import os
import random
import re
import sqlite3
import sys

here = os.path.dirname(os.path.abspath(__file__))
schema = open(os.path.join(here, "..", "..", "db", "Schema.h"), encoding="utf-8").read()
statements = [
    "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', body))
    for body in re.findall(r"inline constexpr const char\* k\w+ =(.*?);\n", schema, re.S)
]

path, count = sys.argv[1], int(sys.argv[2])
os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
if os.path.exists(path):
    os.remove(path)
random.seed(17)
surnames = ["Álvarez", "Adams", "ADAMS", "Baker", "Bäcker", "Núñez", "Nunez", "Šimek", "Olsen",
            "Øster", "Smith", "smith", "Zoë", "Zoe", "Émile", "Emile", "Müller", "Mueller",
            "O'Brien", "van Dijk", "Van Dijk", "Ngata", "Kowalski", "Çelik", "Dvorák"]
given = ["Ana", "José", "anna", "Björn", "Chloé", "Dmitri", "Eva", "Jürgen", "Li", "Mary",
         "Noël", "Otto", "Paula", "René", "Sigrún", "Tomás", ""]
institutions = ["City Hospital", "Cardiology Clinic North", "St. Mary's", "", "Hôpital Sud"]
physicians = ["Dr^Who", "Lee^Ann", "", "García^Marta", "Ng^Victor"]
descriptions = ["Resting ECG", "12-lead", "Holter", "Stress test", "", "ECG de repos"]
patients = []
for number in range((count + 1) // 2):
    name = "%s^%s" % (random.choice(surnames), random.choice(given))
    patients.append((name, "P%07d" % random.randrange(10**7), random.choice(["M", "F", "", "O"]),
                     "%04d%02d%02d" % (random.randint(1930, 2015), random.randint(1, 12),
                                       random.randint(1, 28))))


def cp1252(text):
    return text.encode("cp1252", "replace")


def insert(table, rows):
    # Bytes bound as blobs and cast to text: the row holds the Windows-1252 bytes as text.
    width = len(rows[0])
    db.executemany("INSERT INTO %s VALUES (%s)" % (table, ",".join(["CAST(? AS TEXT)"] * width)),
                   [tuple(v if isinstance(v, int) else cp1252(v) for v in row) for row in rows])


db = sqlite3.connect(path)
for statement in statements:
    db.execute(statement)
studies, series, objects = [], [], []
for number in range(count):
    name, pid, sex, birth = random.choice(patients)
    date = "%04d%02d%02d" % (random.randint(2012, 2026), random.randint(1, 12), random.randint(1, 28))
    time = "%02d%02d%02d" % (random.randint(0, 23), random.randint(0, 59), random.randint(0, 59))
    study = "1.2.826.0.1.3680043.8.498.70.%d" % number
    serie = study + ".1"
    studies.append((
        study, date, time, str(number % 1000), random.choice(descriptions), "A%08d" % number,
        random.choice(physicians), random.choice(["ECG", "ECG", "ECG", "HD", "ECG-HD"]), "CART1",
        random.choice(institutions), "S%07d" % number, pid, name, sex, birth))
    series.append((serie, "1", date, time, "", "ECG", "", "", "", "", "", "E%07d" % number, study))
    objects.append((serie + ".1", "1.2.840.10008.5.1.4.1.1.9.1.1", 1, date, time, 1, date, time,
                    "", date, serie, study, "", 0, ""))
insert("Study", studies)
insert("Series", series)
insert("Objects", objects)
db.commit()
db.close()
