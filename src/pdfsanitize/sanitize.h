// SPDX-License-Identifier: Apache-2.0
// The removal policy behind the four sanitising modes, and the sanitising run.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pdfsanitize/document.h"

namespace pdfsanitize {

// Mode bits.
constexpr std::int32_t mode_js = 1;
constexpr std::int32_t mode_attachments = 2;
constexpr std::int32_t mode_actions = 4;
constexpr std::int32_t mode_forms = 8;
constexpr std::int32_t mode_full = 15;

// What each pass does in one mode: the removal policy as a list of decisions.
struct removal_policy {
    enum class actions { keep, if_javascript, all };
    // Catalog pass.
    actions catalog_actions = actions::keep;  // /OpenAction and /AA
    bool catalog_form = false;                // /AcroForm
    bool catalog_attachments = false;         // /AF, /Collection, /EmbeddedFiles (names too)
    bool names_javascript = false;            // the names dictionary's /JavaScript
    bool inline_names = false;                // an inline /Names dictionary, whole
    // Page pass.
    actions page_actions = actions::keep;     // a page's /AA
    bool annot_files = false;                 // file-attachment annotations become placeholders
    bool annot_widgets = false;               // widget annotations become placeholders
    bool annot_actions = false;               // every kept annotation loses /A and /AA
    // Object pass: placeholders for objects that name...
    bool object_files = false;                // file specifications and embedded files (and /EF)
    bool object_forms_js = false;             // widgets, forms and JavaScript
    bool object_js = false;                   // JavaScript
};

removal_policy policy_for(std::int32_t mode);

struct outbuf;

// Why an object was written as an empty placeholder.
enum class placeholder_reason : std::uint8_t {
    none, file_attachment_annotation, widget_annotation, embedded_file, file_specification, form_or_javascript,
    javascript
};
const char *placeholder_reason_name(placeholder_reason r);

// What a run took out, for those who log it.
struct removal_log {
    struct cut {
        std::int32_t object;
        std::string key;
    };
    struct placeholder {
        std::int32_t object;
        placeholder_reason reason;
    };
    std::vector<cut> entries;             // dictionary entries removed, by object and key
    std::vector<placeholder> placeholders;  // in object order
};

// The removal policy and the assembly of the new file for a loaded document: 0 with
// the whole file in out, or -1 with "out of memory" reported when the output cannot
// be held whole; std::bad_alloc when memory runs out elsewhere. With a log, what was
// removed is recorded there too.
int sanitize_document(const pdf_doc &doc, std::int32_t mode, outbuf &out, removal_log *log = nullptr);

// The sanitising run: 1 when the output file was written whole, 0 with the reason in
// the last-error message.
int sanitize_run(const char *in_path, const char *out_path, std::int32_t mode);

// The same run over bytes in memory, into out (name stands for the path in messages).
// The output's stream data are pieces of bytes: they must outlive out. 1 on success, 0
// with the reason reported.
int sanitize_memory(const char *name, std::span<const unsigned char> bytes, std::int32_t mode, outbuf &out);

}  // namespace pdfsanitize
