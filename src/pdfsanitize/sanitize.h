// Dictionary editing (cutting one key with its value, inserting before the close) and
// the removal policy behind the four sanitising modes.
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

// Removes the first occurrence of /key that has a value, with that value (and one SP or
// HT before the key). 1 if removed, 0 if the text is unchanged.
int strip_dict_entry(dict_text &text, std::string_view key);

// Inserts ins just before the closing ">>" (the text's last two bytes). Returns false,
// with the text unchanged, when it does not end in ">>" or memory is exhausted.
bool dict_append_before_close(dict_text &text, std::string_view ins);

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
