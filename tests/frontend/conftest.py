"""The front-end tests run the service through the black-box harness of
tests/e2e (its fixtures are imported here) and drive it from a real browser,
from the protocol document's examples and from the Debian package."""

import importlib.util
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
BUILD_DIR = os.environ.get("ZENTAVO_BUILD_DIR", os.path.join(ROOT, "build"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "tools"))

_spec = importlib.util.spec_from_file_location("e2e_harness", os.path.join(ROOT, "tests", "e2e", "conftest.py"))
e2e_harness = importlib.util.module_from_spec(_spec)
sys.modules["e2e_harness"] = e2e_harness
_spec.loader.exec_module(e2e_harness)

# Fixtures (pytest finds them by name in this module).
make_service = e2e_harness.make_service
svc = e2e_harness.svc
client = e2e_harness.client
session = e2e_harness.session
sales_api = e2e_harness.sales_api
tef_service = e2e_harness.tef_service
tef_client = e2e_harness.tef_client
tef_session = e2e_harness.tef_session
