"""Holds an exclusive lock on an SQLite database for a while, from a separate process.

Usage: hold_lock.py DATABASE SECONDS READY_FILE
The READY_FILE is created once the lock is held and removed once the lock, held for SECONDS,
is released.
"""
import os
import sqlite3
import sys
import time

database, seconds, ready = sys.argv[1], float(sys.argv[2]), sys.argv[3]
connection = sqlite3.connect(database, isolation_level=None, timeout=0)
connection.execute("BEGIN EXCLUSIVE")
open(ready, "w").close()
time.sleep(seconds)
connection.execute("COMMIT")
connection.close()
os.remove(ready)
