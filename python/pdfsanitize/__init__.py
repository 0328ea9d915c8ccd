# SPDX-License-Identifier: Apache-2.0
"""Scan PDF files for active content and write sanitised copies.

Thin ctypes bindings over the kestrune-pdfsanitize-ext library. Every function takes
the PDF as bytes (or a bytes-like object) or as a path, and raises PdfSanitizeError
(with the library's status code) when the library reports a failure.
"""
from __future__ import annotations

import ctypes
import ctypes.util
import json
import os
import sys
from pathlib import Path
from typing import Any, Dict, Optional, Tuple, Union

__all__ = [
    "MODES", "PdfSanitizeError", "RefusedError", "Status", "audit", "library_version",
    "sanitize", "sanitize_report", "scan", "verify",
]

Source = Union[bytes, bytearray, memoryview, str, "os.PathLike[str]"]

#: The sanitising modes by name, with the library's codes.
MODES: Dict[str, int] = {"full": 1, "remove-js": 2, "remove-attachments": 3, "remove-actions": 4}

_STRICT = 1


class Status:
    """The library's status codes (pdfsanitize_ext_status)."""

    OK = 0
    INVALID_ARGUMENT = -1
    NO_MEMORY = -2
    EMPTY_INPUT = -3
    INPUT_TOO_LARGE = -4
    NOT_PDF = -5
    ENCRYPTED = -6
    REFUSED = -7
    INTERNAL = -8


class PdfSanitizeError(Exception):
    """A failure reported by the library: status is a Status code, message its text."""

    def __init__(self, status: int, message: str) -> None:
        super().__init__(message)
        self.status = status
        self.message = message


class RefusedError(PdfSanitizeError):
    """A strict run refused the output; report (a dict) names what stayed reachable."""

    def __init__(self, status: int, message: str, report: Optional[Dict[str, Any]]) -> None:
        super().__init__(status, message)
        self.report = report


class _Error(ctypes.Structure):
    _fields_ = [("status", ctypes.c_int), ("message", ctypes.c_char * 1024)]


def _library_names() -> list:
    if sys.platform == "win32":
        return ["kestrune-pdfsanitize-ext.dll"]
    if sys.platform == "darwin":
        return ["libkestrune-pdfsanitize-ext.dylib"]
    return ["libkestrune-pdfsanitize-ext.so.0", "libkestrune-pdfsanitize-ext.so"]


def _load() -> ctypes.CDLL:
    tried = []
    explicit = os.environ.get("PDFSANITIZE_EXT_LIBRARY")
    candidates = [explicit] if explicit else []
    here = Path(__file__).resolve().parent
    candidates += [str(here / n) for n in _library_names()]
    for c in candidates:
        if c and (c == explicit or Path(c).exists()):
            try:
                return ctypes.CDLL(c)
            except OSError as e:
                tried.append(f"{c}: {e}")
    found = ctypes.util.find_library("kestrune-pdfsanitize-ext")
    for name in ([found] if found else []) + _library_names():
        try:
            return ctypes.CDLL(name)
        except OSError as e:
            tried.append(f"{name}: {e}")
    raise ImportError("cannot load the kestrune-pdfsanitize-ext library (set PDFSANITIZE_EXT_LIBRARY): "
                      + "; ".join(tried))


_lib = _load()
_out = ctypes.POINTER(ctypes.c_void_p)
_lib.pdfsanitize_ext_version.restype = ctypes.c_char_p
_lib.pdfsanitize_ext_version.argtypes = []
_lib.pdfsanitize_ext_free.restype = None
_lib.pdfsanitize_ext_free.argtypes = [ctypes.c_void_p]
_lib.pdfsanitize_ext_scan.restype = ctypes.c_int
_lib.pdfsanitize_ext_scan.argtypes = [ctypes.c_char_p, ctypes.c_size_t, _out, ctypes.POINTER(_Error)]
_lib.pdfsanitize_ext_audit.restype = ctypes.c_int
_lib.pdfsanitize_ext_audit.argtypes = [ctypes.c_char_p, ctypes.c_size_t, _out, ctypes.POINTER(_Error)]
_lib.pdfsanitize_ext_verify.restype = ctypes.c_int
_lib.pdfsanitize_ext_verify.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_int, _out, ctypes.POINTER(_Error)]
_lib.pdfsanitize_ext_sanitize.restype = ctypes.c_int
_lib.pdfsanitize_ext_sanitize.argtypes = [
    ctypes.c_char_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_uint, _out, ctypes.POINTER(ctypes.c_size_t), _out,
    ctypes.POINTER(_Error)]


def library_version() -> str:
    """The loaded library's version, "MAJOR.MINOR.PATCH"."""
    return _lib.pdfsanitize_ext_version().decode()


def _bytes_of(source: Source) -> bytes:
    if isinstance(source, (bytes, bytearray, memoryview)):
        return bytes(source)
    with open(source, "rb") as f:
        return f.read()


def _mode_code(mode: str) -> int:
    try:
        return MODES[mode]
    except KeyError:
        raise ValueError(f"unknown mode {mode!r}; one of {', '.join(MODES)}") from None


def _take_text(p: ctypes.c_void_p) -> Optional[str]:
    if not p.value:
        return None
    try:
        return ctypes.string_at(p.value).decode("utf-8", "surrogateescape")
    finally:
        _lib.pdfsanitize_ext_free(p)


def _json_of(p: ctypes.c_void_p) -> Any:
    text = _take_text(p)
    return None if text is None else json.loads(text)


def _raise(err: _Error, report: Optional[Dict[str, Any]] = None) -> None:
    message = err.message.decode("utf-8", "replace")
    if err.status == Status.REFUSED:
        raise RefusedError(err.status, message, report)
    raise PdfSanitizeError(err.status, message)


def scan(source: Source) -> Dict[str, Any]:
    """What active content the PDF holds: javascript, embedded_files, auto_actions, forms."""
    data = _bytes_of(source)
    out, err = ctypes.c_void_p(), _Error()
    if _lib.pdfsanitize_ext_scan(data, len(data), ctypes.byref(out), ctypes.byref(err)) != Status.OK:
        _raise(err)
    return _json_of(out)


def sanitize_report(source: Source, mode: str = "full", *, strict: bool = False) -> Tuple[bytes, Dict[str, Any]]:
    """The sanitised copy and the run's report (what was removed, what was left).

    With strict, an output that breaks the mode's promise raises RefusedError."""
    return _sanitize(source, mode, strict, want_report=True)


def sanitize(source: Source, mode: str = "full", *, strict: bool = False) -> bytes:
    """The sanitised copy of the PDF in the given mode (see MODES) as bytes."""
    return _sanitize(source, mode, strict, want_report=False)[0]


def _sanitize(source: Source, mode: str, strict: bool, want_report: bool) -> Tuple[bytes, Dict[str, Any]]:
    data = _bytes_of(source)
    code = _mode_code(mode)
    out, size, report, err = ctypes.c_void_p(), ctypes.c_size_t(), ctypes.c_void_p(), _Error()
    status = _lib.pdfsanitize_ext_sanitize(data, len(data), code, _STRICT if strict else 0, ctypes.byref(out),
                                           ctypes.byref(size), ctypes.byref(report) if want_report else None,
                                           ctypes.byref(err))
    report_json = _json_of(report)
    if status != Status.OK:
        _raise(err, report_json)
    try:
        written = ctypes.string_at(out.value, size.value) if size.value else b""
    finally:
        _lib.pdfsanitize_ext_free(out)
    return written, report_json


def audit(source: Source) -> Dict[str, Any]:
    """Each mode run in memory and its output verified: blind spots and residue per mode."""
    data = _bytes_of(source)
    out, err = ctypes.c_void_p(), _Error()
    if _lib.pdfsanitize_ext_audit(data, len(data), ctypes.byref(out), ctypes.byref(err)) != Status.OK:
        _raise(err)
    return _json_of(out)


def verify(source: Source, mode: str = "full") -> Dict[str, Any]:
    """What a reader can still reach in a sanitised file, sorted by the mode's promise."""
    data = _bytes_of(source)
    out, err = ctypes.c_void_p(), _Error()
    if _lib.pdfsanitize_ext_verify(data, len(data), _mode_code(mode), ctypes.byref(out), ctypes.byref(err)) != Status.OK:
        _raise(err)
    return _json_of(out)
