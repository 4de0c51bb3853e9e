#!/usr/bin/env python3
"""Validates every link record the tests wrote against the record's schema.

    validate_records.py SCHEMA FOLDER

FOLDER holds the records the tests collected (TARNEL_RECORD_DIR); each is
checked, then removed, so that the next run checks its own. Exits 77 when
Python's jsonschema is missing, 1 when a record does not validate or none
was written.
"""
import json
import pathlib
import sys

try:
    import jsonschema
except ImportError:
    print("SKIPPED: Python's jsonschema is not installed (Debian: python3-jsonschema)")
    sys.exit(77)

schema_path, folder = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
schema = json.loads(schema_path.read_text())
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
records = sorted(folder.glob("*.json")) if folder.is_dir() else []
if not records:
    print(f"FAILED: no record in {folder}: the tests wrote none")
    sys.exit(1)
failed = 0
for path in records:
    errors = list(validator.iter_errors(json.loads(path.read_bytes())))
    for error in errors[:5]:
        print(f"FAILED: {path.name}: {'/'.join(map(str, error.absolute_path))}: {error.message}")
    failed += bool(errors)
    path.unlink()
print(f"{len(records) - failed} of {len(records)} records valid against {schema_path.name}")
sys.exit(1 if failed else 0)
