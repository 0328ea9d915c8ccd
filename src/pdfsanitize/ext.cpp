// SPDX-License-Identifier: Apache-2.0
// The exports of the ext library: the scan, the modes, the audit and the verifier over
// bytes in memory. Each call keeps its state on its own stack and copies the calling
// thread's message into the caller's error record before it returns.
#include "pdfsanitize_ext.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "pdfsanitize/alloc.h"
#include "pdfsanitize/audit.h"
#include "pdfsanitize/errors.h"
#include "pdfsanitize/loader.h"
#include "pdfsanitize/sanitize.h"
#include "pdfsanitize/scan.h"
#include "pdfsanitize/verify.h"
#include "pdfsanitize/writer.h"

#if defined(_WIN32)
#include <windows.h>
#endif

using namespace pdfsanitize;

namespace {

// Stands for the path in the library's messages.
constexpr const char *buffer_name = "(buffer)";

// The status a library message stands for.
int status_of_message(std::string_view m) {
    if (m == "out of memory") return PDFSANITIZE_EXT_NO_MEMORY;
    if (m.starts_with("empty input file")) return PDFSANITIZE_EXT_EMPTY_INPUT;
    if (m.starts_with("input file too large")) return PDFSANITIZE_EXT_INPUT_TOO_LARGE;
    if (m.starts_with("no PDF objects found")) return PDFSANITIZE_EXT_NOT_PDF;
    if (m.starts_with("encrypted PDFs")) return PDFSANITIZE_EXT_ENCRYPTED;
    return PDFSANITIZE_EXT_INTERNAL;
}

int finish(pdfsanitize_ext_error *err, int status, std::string_view message) {
    if (err) {
        err->status = status;
        const std::size_t n = message.size() < sizeof err->message ? message.size() : sizeof err->message - 1;
        std::memcpy(err->message, message.data(), n);
        err->message[n] = '\0';
    }
    return status;
}

int ok(pdfsanitize_ext_error *err) { return finish(err, PDFSANITIZE_EXT_OK, ""); }

// The failure the library reported on this thread.
int library_failure(pdfsanitize_ext_error *err) { return finish(err, status_of_message(g_err), g_err); }

int invalid(pdfsanitize_ext_error *err, const char *what) {
    return finish(err, PDFSANITIZE_EXT_INVALID_ARGUMENT, what);
}

// A malloc'd NUL-terminated copy of s; null when there is no memory.
char *copy_text(std::string_view s) {
    char *p = static_cast<char *>(lib_malloc(s.size() + 1));
    if (!p) return nullptr;
    std::memcpy(p, s.data(), s.size());
    p[s.size()] = '\0';
    return p;
}

std::span<const unsigned char> input_bytes(const void *pdf, std::size_t size) {
    return {static_cast<const unsigned char *>(pdf), size};
}

const mode_promise *promise_of(int mode) {
    switch (mode) {
    case PDFSANITIZE_EXT_FULL: return promise_for_mode(mode_full);
    case PDFSANITIZE_EXT_REMOVE_JS: return promise_for_mode(mode_js);
    case PDFSANITIZE_EXT_REMOVE_ATTACHMENTS: return promise_for_mode(mode_attachments);
    case PDFSANITIZE_EXT_REMOVE_ACTIONS: return promise_for_mode(mode_actions);
    default: return nullptr;
    }
}

// The whole output in one block from malloc: its text with the stream data between.
void *join_output(const outbuf &b) {
    const std::uint64_t n = b.size();
    if (n > SIZE_MAX - 1) return nullptr;
    char *p = static_cast<char *>(lib_malloc(n ? static_cast<std::size_t>(n) : 1));
    if (!p) return nullptr;
    std::uint64_t w = 0;
    for_each_part(b, [&](const char *bytes, std::uint64_t k) {
        if (k) std::memcpy(p + w, bytes, static_cast<std::size_t>(k));
        w += k;
        return true;
    });
    return p;
}

struct text_owner {
    char *p = nullptr;
    ~text_owner() { std::free(p); }
    char *release() {
        char *r = p;
        p = nullptr;
        return r;
    }
};

int scan_bytes(const void *pdf, std::size_t size, char **json, pdfsanitize_ext_error *err) {
    if (!json) return invalid(err, "json is NULL");
    *json = nullptr;
    if (!pdf && size) return invalid(err, "pdf is NULL");
    scan_result r;
    {
        pdf_doc doc;
        if (doc_load_memory(buffer_name, input_bytes(pdf, size), doc, borrow_bytes) != 0) return library_failure(err);
        scan_document(doc, r);
    }
    char line[json_size];
    format_scan_json(r, line, sizeof line);
    if (!(*json = copy_text(line))) return finish(err, PDFSANITIZE_EXT_NO_MEMORY, "out of memory");
    return ok(err);
}

int sanitize_bytes(const void *pdf, std::size_t size, int mode, unsigned flags, void **out, std::size_t *out_size,
                   char **report, pdfsanitize_ext_error *err) {
    if (report) *report = nullptr;
    if (!out || !out_size) return invalid(err, "out or out_size is NULL");
    *out = nullptr;
    *out_size = 0;
    if (!pdf && size) return invalid(err, "pdf is NULL");
    const mode_promise *promise = promise_of(mode);
    if (!promise) return invalid(err, "unknown mode");
    if (flags & ~PDFSANITIZE_EXT_STRICT) return invalid(err, "unknown flag");
    const bool strict = (flags & PDFSANITIZE_EXT_STRICT) != 0;

    pdf_doc doc;  // the output's stream data stay in the caller's bytes until joined
    if (doc_load_memory(buffer_name, input_bytes(pdf, size), doc, borrow_bytes) != 0) return library_failure(err);
    outbuf assembled;
    removal_log removed;
    if (sanitize_document(doc, promise->mode, assembled, report ? &removed : nullptr) != 0)
        return library_failure(err);
    verified_output left;
    if (strict || report) left = check_output(*promise, assembled);
    const bool refused = strict && !left.blind_spots.empty();
    text_owner report_text;
    if (report) {
        run_report rep;
        rep.promise = promise;
        rep.removed = &removed;
        rep.left = &left;
        rep.written = !refused;
        rep.refused = refused;
        std::string line = run_report_json(rep);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (!(report_text.p = copy_text(line))) return finish(err, PDFSANITIZE_EXT_NO_MEMORY, "out of memory");
    }
    if (refused) {
        const std::string what = std::string(promise->name) + " leaves reachable content in the output: " +
                                 describe_findings(left.blind_spots);
        if (report) *report = report_text.release();
        return finish(err, PDFSANITIZE_EXT_REFUSED, what);
    }
    void *bytes = join_output(assembled);
    if (!bytes) return finish(err, PDFSANITIZE_EXT_NO_MEMORY, "out of memory");
    *out = bytes;
    *out_size = static_cast<std::size_t>(assembled.size());
    if (report) *report = report_text.release();
    return ok(err);
}

int audit_bytes(const void *pdf, std::size_t size, char **json, pdfsanitize_ext_error *err) {
    if (!json) return invalid(err, "json is NULL");
    *json = nullptr;
    if (!pdf && size) return invalid(err, "pdf is NULL");
    audit_report r;
    {
        pdf_doc doc;
        if (doc_load_memory(buffer_name, input_bytes(pdf, size), doc, borrow_bytes) != 0) return library_failure(err);
        audit_document(doc, r);
    }
    std::string line = audit_json(r, buffer_name);
    if (!(*json = copy_text(line))) return finish(err, PDFSANITIZE_EXT_NO_MEMORY, "out of memory");
    return ok(err);
}

int verify_bytes(const void *pdf, std::size_t size, int mode, char **json, pdfsanitize_ext_error *err) {
    if (!json) return invalid(err, "json is NULL");
    *json = nullptr;
    if (!pdf && size) return invalid(err, "pdf is NULL");
    const mode_promise *promise = promise_of(mode);
    if (!promise) return invalid(err, "unknown mode");
    if (size == 0) return finish(err, PDFSANITIZE_EXT_EMPTY_INPUT, "empty input file: (buffer)");
    const verified_output v = check_output(*promise, std::string_view(static_cast<const char *>(pdf), size));
    if (!(*json = copy_text(verified_json(*promise, v)))) return finish(err, PDFSANITIZE_EXT_NO_MEMORY, "out of memory");
    return ok(err);
}

// Runs one call; nothing thrown inside reaches the host.
template <class Fn>
int guarded(pdfsanitize_ext_error *err, Fn fn) {
    try {
        return fn();
    } catch (const std::bad_alloc &) {
        return finish(err, PDFSANITIZE_EXT_NO_MEMORY, "out of memory");
    } catch (...) {  // nothing else is thrown on purpose; reported as what it is
        return finish(err, PDFSANITIZE_EXT_INTERNAL, "internal error");
    }
}

}  // namespace

extern "C" {

PDFSANITIZE_EXT_API const char *pdfsanitize_ext_version(void) { return PDFSANITIZE_VERSION_STRING; }

PDFSANITIZE_EXT_API const char *pdfsanitize_ext_strerror(int status) {
    switch (status) {
    case PDFSANITIZE_EXT_OK: return "no error";
    case PDFSANITIZE_EXT_INVALID_ARGUMENT: return "invalid argument";
    case PDFSANITIZE_EXT_NO_MEMORY: return "out of memory";
    case PDFSANITIZE_EXT_EMPTY_INPUT: return "empty input";
    case PDFSANITIZE_EXT_INPUT_TOO_LARGE: return "input too large";
    case PDFSANITIZE_EXT_NOT_PDF: return "not a PDF";
    case PDFSANITIZE_EXT_ENCRYPTED: return "encrypted PDFs are not supported";
    case PDFSANITIZE_EXT_REFUSED: return "refused: the output would keep content the mode removes";
    case PDFSANITIZE_EXT_INTERNAL: return "internal error";
    default: return "unknown status";
    }
}

PDFSANITIZE_EXT_API void pdfsanitize_ext_free(void *p) { std::free(p); }

PDFSANITIZE_EXT_API int pdfsanitize_ext_scan(const void *pdf, size_t size, char **json, pdfsanitize_ext_error *err) {
    return guarded(err, [&] { return scan_bytes(pdf, size, json, err); });
}

PDFSANITIZE_EXT_API int pdfsanitize_ext_sanitize(const void *pdf, size_t size, int mode, unsigned flags, void **out,
                                                 size_t *out_size, char **report, pdfsanitize_ext_error *err) {
    return guarded(err, [&] { return sanitize_bytes(pdf, size, mode, flags, out, out_size, report, err); });
}

PDFSANITIZE_EXT_API int pdfsanitize_ext_audit(const void *pdf, size_t size, char **json, pdfsanitize_ext_error *err) {
    return guarded(err, [&] { return audit_bytes(pdf, size, json, err); });
}

PDFSANITIZE_EXT_API int pdfsanitize_ext_verify(const void *pdf, size_t size, int mode, char **json,
                                               pdfsanitize_ext_error *err) {
    return guarded(err, [&] { return verify_bytes(pdf, size, mode, json, err); });
}

}  // extern "C"
