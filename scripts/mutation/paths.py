"""Where a mutation run keeps its build, its backup of the planted file and
its lock."""

import os

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FOLDERS = ("frontend", "board", "eeprom", "signal")
BUILD = os.path.join(ROOT, "build", "mutate")
BACKUP = os.path.join(BUILD, "planted.orig")
BACKUP_NAME = BACKUP + ".path"
LOCK = os.path.join(BUILD, "run.lock")
