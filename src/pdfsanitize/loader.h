// SPDX-License-Identifier: Apache-2.0
// Loading a document: from a file or from bytes in memory, through the stages in
// load_stages.h.
#pragma once

#include <span>

#include "pdfsanitize/document.h"

namespace pdfsanitize {

// Fills doc from the file at path. 0 when loaded; -1 when refused or unreadable, with
// the reason in the last-error message and nothing left to release.
int doc_load(const char *path, pdf_doc &doc);

// The same stages over bytes already in memory; `name` stands for the path in messages.
// With borrow_bytes the document reads them in place (they must outlive it) instead of
// copying them.
enum memory_use { copy_bytes, borrow_bytes };
int doc_load_memory(const char *name, std::span<const unsigned char> bytes, pdf_doc &doc,
                    memory_use use = copy_bytes);

}  // namespace pdfsanitize
