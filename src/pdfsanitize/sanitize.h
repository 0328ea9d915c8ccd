// The removal policy behind the four sanitising modes, and the sanitising run.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "document.h"

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

// The removal policy and the assembly of the new file for a loaded document: 0 with
// the whole file in out, or -1 with "out of memory" reported.
int sanitize_document(const pdf_doc &doc, std::int32_t mode, outbuf &out);

// The sanitising run: 1 when the output file was written whole, 0 with the reason in
// the last-error message.
int sanitize_run(const char *in_path, const char *out_path, std::int32_t mode);

// The same run over bytes in memory, into out (name stands for the path in messages).
// 1 on success, 0 with the reason reported.
int sanitize_memory(const char *name, std::span<const unsigned char> bytes, std::int32_t mode, outbuf &out);

}  // namespace pdfsanitize
