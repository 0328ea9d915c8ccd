# SPDX-License-Identifier: Apache-2.0
import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
EXAMPLES = Path(os.environ.get("PDFSANITIZE_EXAMPLES", Path(__file__).resolve().parents[2] / "examples"))


def tiny_pdf(catalog: str, *objects: str) -> bytes:
    """A small well-formed PDF: object 1 is the catalog, then the given objects."""
    bodies = [catalog, *objects]
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for n, body in enumerate(bodies, start=1):
        offsets.append(len(out))
        out += f"{n} 0 obj\n{body}\nendobj\n".encode()
    xref = len(out)
    out += f"xref\n0 {len(bodies) + 1}\n0000000000 65535 f \n".encode()
    for o in offsets:
        out += f"{o:010d} 00000 n \n".encode()
    out += f"trailer\n<< /Size {len(bodies) + 1} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n".encode()
    return bytes(out)


@pytest.fixture
def examples() -> Path:
    return EXAMPLES
