"""Runs one module of scenarios: python3 run_e2e.py MODULE.

Exits 77 (reported by ctest as skipped) when the X tools the scenarios need are not
installed, 0 when every scenario passed, 1 otherwise. Scenarios of known, reported faults
show as skipped with the fault named.
"""

import os
import sys
import unittest

# The scenario modules and their helpers: this folder and the one the test runs in.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.getcwd())

import xsession  # noqa: E402

SKIPPED = 77


def main():
    if len(sys.argv) != 2:
        print("usage: run_e2e.py MODULE", file=sys.stderr)
        return 2
    missing = xsession.missing_tools()
    if missing:
        print("end-to-end scenarios skipped, not installed: " + ", ".join(missing))
        return SKIPPED
    suite = unittest.defaultTestLoader.loadTestsFromName(sys.argv[1])
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
