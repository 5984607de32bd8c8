"""check-json.py SCHEMA FILE [PYTHON-EXPRESSION...]: FILE (or - for standard input) is valid
against SCHEMA, and each expression, evaluated with the document as `doc`, is true."""
import json
import sys

import jsonschema

schema = json.load(open(sys.argv[1], encoding="utf-8"))
text = sys.stdin.read() if sys.argv[2] == "-" else open(sys.argv[2], encoding="utf-8").read()
try:
    doc = json.loads(text)
except ValueError as e:
    sys.exit(f"not JSON ({e}):\n{text[:2000]}")
jsonschema.Draft202012Validator.check_schema(schema)
errors = sorted(jsonschema.Draft202012Validator(schema).iter_errors(doc), key=str)
if errors:
    sys.exit("\n".join(f"{list(e.absolute_path)}: {e.message}" for e in errors[:10]))
for expression in sys.argv[3:]:
    if not eval(expression, {"doc": doc}):
        sys.exit(f"false: {expression}\n{json.dumps(doc, indent=1)[:3000]}")
