// SPDX-License-Identifier: Apache-2.0
// The output verifier: reads a file as the writer produces it (one cross-reference table,
// a trailer, objects at the offsets the table gives), walks everything a reader can reach
// from the trailer's /Root and /Info, and lists the active content it meets, each piece
// with its object and its path from the trailer. Stream data is never read. Built on the
// syntax layer's dictionary reader; knows no document, no policy and no writer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pdfsanitize {

enum class reach_kind : std::uint8_t {
    javascript,        // an action whose /S is /JavaScript, or a /JS entry
    embedded_file,     // an /EF entry, an /EmbeddedFile stream, a file-attachment annotation
    automatic_action,  // the catalog's /OpenAction; each event of an /AA
    form,              // the catalog's /AcroForm, a widget annotation
    action,            // any other action, by its /S type
    three_d,           // a 3D annotation
    rich_media,        // a rich-media annotation
    xfa,               // an /XFA entry: packets whose scripts and events the walk does not read
    unverifiable,      // something the walk could not read: no promise can stand
};
constexpr int reach_kind_count = 9;

// What fires an action or holds an /AA: how the walk first came to it.
enum class reach_holder : std::uint8_t { catalog, page_node, page, annotation, field, outline, names, other };
constexpr int reach_holder_count = 8;

const char *reach_kind_name(reach_kind k);
const char *reach_holder_name(reach_holder h);

struct reach_finding {
    reach_kind kind;
    reach_holder holder;
    std::int32_t object;  // the object holding the entry; 0 for the trailer
    std::string detail;   // the key, event or type: "JS", "EF", "AA/O", "OpenAction", "Launch", ...
    std::string path;     // "Root/Pages/Kids[2]/Annots[0]/A"
};

struct verify_result {
    std::vector<reach_finding> findings;  // in the order of a breadth-first walk from /Root
    std::int64_t objects_reached = 0;
};

// Bytes of the file left out of the text given to the verifier (stream data kept in
// place): n bytes that stand just before the text byte at.
struct output_hole {
    std::uint64_t at;
    std::uint64_t n;
};

// Walks the file the writer produced: its text, and where its holes stand (the table's
// offsets count them). Bytes that are not such a file give an unverifiable finding; the
// walk never reads past the text and is linear in it (an inline nesting deeper than
// max_inline_depth is not read and reported instead).
verify_result verify_output(std::string_view text, std::span<const output_hole> holes = {});
constexpr int max_inline_depth = 32;

// What a sanitising mode promises: the findings that must not be reachable in its output.
struct mode_promise {
    std::int32_t mode;          // the mode bits of the sanitising run
    const char *name;           // the program's command for it
    std::uint32_t kinds;        // reach_kind bits promised wherever they stand
    std::uint32_t automatic;    // reach_holder bits: automatic actions promised when held there
    std::uint32_t actions;      // reach_holder bits: other actions promised when fired from there
};

constexpr std::uint32_t kind_bit(reach_kind k) { return 1u << static_cast<unsigned>(k); }
constexpr std::uint32_t holder_bit(reach_holder h) { return 1u << static_cast<unsigned>(h); }

// The four modes' promises (the README shows the same table).
const mode_promise *promise_for_mode(std::int32_t mode);
const mode_promise *promise_for_name(std::string_view name);
std::span<const mode_promise> mode_promises();

// Whether a finding breaks the promise p.
bool breaks_promise(const mode_promise &p, const reach_finding &f);

}  // namespace pdfsanitize
