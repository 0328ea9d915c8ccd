# SPDX-License-Identifier: Apache-2.0
# The pdfsanitize program as scripts use it: JSON Lines read by a JSON parser, batches
# into a folder, standard input and output, usage errors.
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python" / "tests"))
from conftest import EXAMPLES, tiny_pdf  # noqa: E402

CLI = os.environ.get("PDFSANITIZE_CLI", "pdfsanitize")
SCRIPT = tiny_pdf("<< /Type /Catalog /OpenAction 2 0 R >>", "<< /S /JavaScript /JS (app.alert(1)) >>")


def run(*args, stdin=b""):
    return subprocess.run([CLI, *map(os.fsencode, args)], input=stdin, capture_output=True)


def lines(stdout: bytes):
    # Names that are not UTF-8 come back through the \udcXX escapes as their own bytes.
    return [json.loads(line) for line in stdout.decode().splitlines()]


def test_scan_and_audit_print_one_json_object_per_file_for_odd_names(tmp_path):
    odd = [b"tab\there.pdf", b"new\nline.pdf", b'quote"back\\slash.pdf', "ünïcödé 文件.pdf".encode(),
           b"latin1 \xe9t\xe9.pdf"]
    paths = []
    for name in odd:
        p = os.path.join(os.fsencode(tmp_path), name)
        with open(p, "wb") as f:
            f.write(SCRIPT)
        paths.append(p)
    missing = os.path.join(os.fsencode(tmp_path), b"missing \xff.pdf")
    for command in ("scan", "audit"):
        r = run(command, *paths, missing)
        assert r.returncode == 2
        got = lines(r.stdout)
        assert len(got) == len(paths) + 1
        for obj, p in zip(got, paths + [missing]):
            assert list(obj)[0] == "file"
            assert obj["file"].encode("utf-8", "surrogateescape") == p
        assert got[-1]["error"].startswith("cannot open ") and got[-1]["error"].endswith(": No such file or directory")
        assert got[0].get("javascript", True)
    one = run("scan", paths[0])
    assert lines(one.stdout)[0]["file"].encode() == paths[0]  # the same form for one file


def test_standard_input_and_output():
    r = run("full", "-", "-", stdin=SCRIPT)
    assert r.returncode == 0 and r.stdout.startswith(b"%PDF-1.4")
    by_path = run("scan", "-", stdin=r.stdout)
    assert lines(by_path.stdout) == [{"file": "-", "javascript": False, "embedded_files": 0, "auto_actions": 0,
                                      "forms": False}]
    assert lines(run("audit", "-", stdin=SCRIPT).stdout)[0]["file"] == "-"
    empty = run("scan", "-", stdin=b"")
    assert empty.returncode == 2 and lines(empty.stdout)[0]["error"] == "empty input file: (standard input)"


def test_batch_writes_what_single_runs_write(tmp_path):
    src = tmp_path / "in"
    (src / "sub" / "deeper").mkdir(parents=True)
    for sample in EXAMPLES.glob("*.pdf"):
        shutil.copy(sample, src / sample.name)
        shutil.copy(sample, src / "sub" / "deeper" / sample.name)
    (src / "sub" / "broken.pdf").write_bytes(b"not a pdf")
    (src / "sub" / "notes.txt").write_text("skipped: not .pdf")
    out = tmp_path / "out"
    r = run("remove-js", "-j", "4", "-r", "--out-dir", out, src)
    assert r.returncode == 2  # broken.pdf
    written = sorted(p.relative_to(out) for p in out.rglob("*.pdf"))
    inputs = sorted(p.relative_to(src) for p in src.rglob("*.pdf") if p.name != "broken.pdf")
    assert written == inputs
    for rel in written:
        single = tmp_path / "single.pdf"
        assert run("remove-js", src / rel, single).returncode == 0
        assert (out / rel).read_bytes() == single.read_bytes(), rel
    summary = r.stderr.decode().splitlines()[-1]
    n = len(inputs)
    assert summary.startswith(f"pdfsanitize: remove-js: {n + 1} files in ")
    assert summary.endswith(f": {n} written, 1 failed (1 not a PDF), 0 refused by --strict")
    assert "\r" not in r.stderr.decode()  # no progress line when not on a terminal

    strict = run("--strict", "remove-js", "--out-dir", tmp_path / "strict", "--",
                 src / "everything.pdf", src / "clean.pdf")
    assert strict.returncode == 0, strict.stderr


def test_strict_refusals_count_apart(tmp_path):
    inline = tmp_path / "inline.pdf"
    inline.write_bytes(tiny_pdf(
        "<< /Type /Catalog /Names << /JavaScript << /Names [(a) << /S /JavaScript /JS (x) >>] >> >> >>"))
    r = run("remove-js", "--strict", "--out-dir", tmp_path / "o", inline, EXAMPLES / "clean.pdf", tmp_path / "none.pdf")
    assert r.returncode == 3
    assert r.stderr.decode().splitlines()[-1].endswith(
        ": 1 written, 1 failed (1 cannot read), 1 refused by --strict")
    assert not (tmp_path / "o" / "inline.pdf").exists()


@pytest.mark.parametrize("args, wrong", [
    (["full", "--out-dir", "o", "a/x.pdf", "b/x.pdf"], "'a/x.pdf' and 'b/x.pdf' would both be written to 'o/x.pdf'"),
    (["full", "--out-dir", "o", "-"], "'-' cannot be used with --out-dir"),
    (["full", "-j", "0", "--out-dir", "o", "a.pdf"], "'-j' needs a number of workers from 1 to 9999, not '0'"),
    (["full", "a.pdf"], "full needs IN and OUT (or --out-dir DIR and files), got 1 operand"),
    (["scan", "--strict", "a.pdf"], "'--strict' is not an option of scan"),
    (["full", "--bogus", "a", "b"], "unknown option '--bogus'"),
    (["frobnicate"], "unknown command 'frobnicate'"),
    (["full", "--report", "r.json", "--out-dir", "o", "a.pdf"],
     "--report writes one run's report; it cannot be used with --out-dir"),
])
def test_usage_errors_say_what_is_wrong_first(args, wrong):
    r = run(*args)
    assert r.returncode == 2
    err = r.stderr.decode().splitlines()
    assert err[0] == "pdfsanitize: " + wrong
    assert err[2].startswith("usage: pdfsanitize")
    assert r.stdout == b""


def test_help_per_command_and_options_after_operands(tmp_path):
    for command in ("scan", "audit", "full"):
        r = run(command, "--help")
        assert r.returncode == 0 and r.stdout.startswith(b"usage: pdfsanitize")
    out = tmp_path / "o.pdf"
    assert run("full", EXAMPLES / "javascript.pdf", out, "--strict").returncode == 0
    dashed = tmp_path / "-dash.pdf"
    dashed.write_bytes(SCRIPT)
    os.chdir(tmp_path)
    assert lines(run("scan", "--", "-dash.pdf").stdout)[0]["file"] == "-dash.pdf"
