# SPDX-License-Identifier: Apache-2.0
# The Python package over the ext library: bytes or paths in, dicts and bytes out,
# failures as exceptions carrying the library's status.
import pytest

import pdfsanitize
from conftest import tiny_pdf

SCRIPT = tiny_pdf("<< /Type /Catalog /OpenAction 2 0 R >>", "<< /S /JavaScript /JS (app.alert(1)) >>")
INLINE_NAMES = tiny_pdf(
    "<< /Type /Catalog /Names << /JavaScript << /Names [(a) << /S /JavaScript /JS (app.alert(1)) >>] >> >> >>")


def test_scan_takes_bytes_and_paths(examples):
    assert pdfsanitize.scan(SCRIPT) == {"javascript": True, "embedded_files": 0, "auto_actions": 1, "forms": False}
    path = examples / "attachment.pdf"
    assert pdfsanitize.scan(path) == pdfsanitize.scan(path.read_bytes())
    assert pdfsanitize.scan(str(path))["embedded_files"] == 1


@pytest.mark.parametrize("mode", list(pdfsanitize.MODES))
def test_each_mode_writes_a_file_that_scans_clean_of_what_it_removes(mode, examples):
    out = pdfsanitize.sanitize(examples / "everything.pdf", mode=mode)
    assert out.startswith(b"%PDF-1.4")
    if mode == "full":
        assert pdfsanitize.scan(out) == {"javascript": False, "embedded_files": 0, "auto_actions": 0, "forms": False}
    assert pdfsanitize.verify(out, mode)["kept_promise"] is True


def test_report_strict_and_audit():
    out, report = pdfsanitize.sanitize_report(SCRIPT, "full", strict=True)
    assert report["written"] is True and report["left"]["blind_spots"] == []
    assert report["removed"]["entries"] or report["removed"]["placeholders"]
    with pytest.raises(pdfsanitize.RefusedError) as refused:
        pdfsanitize.sanitize(INLINE_NAMES, "remove-js", strict=True)
    assert refused.value.status == pdfsanitize.Status.REFUSED
    assert "JavaScript" in refused.value.message
    audit = pdfsanitize.audit(INLINE_NAMES)
    assert audit["modes"]["remove-js"]["blind_spots_count"] == 1
    assert audit["modes"]["full"]["blind_spots_count"] == 0


@pytest.mark.parametrize("data, status", [
    (b"", pdfsanitize.Status.EMPTY_INPUT),
    (b"not a pdf at all", pdfsanitize.Status.NOT_PDF),
    (tiny_pdf("<< /Type /Catalog >>").replace(b"/Root 1 0 R", b"/Root 1 0 R /Encrypt 1 0 R"),
     pdfsanitize.Status.ENCRYPTED),
])
def test_failures_carry_the_status(data, status):
    for call in (pdfsanitize.scan, pdfsanitize.sanitize, pdfsanitize.audit):
        with pytest.raises(pdfsanitize.PdfSanitizeError) as e:
            call(data)
        assert e.value.status == status


def test_unknown_mode_and_missing_file():
    with pytest.raises(ValueError):
        pdfsanitize.sanitize(SCRIPT, mode="everything")
    with pytest.raises(FileNotFoundError):
        pdfsanitize.scan("/no/such/file.pdf")
    assert pdfsanitize.library_version().count(".") == 2
