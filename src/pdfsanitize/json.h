// SPDX-License-Identifier: Apache-2.0
// JSON text for the reports: strings with every byte accounted for.
#pragma once

#include <string>
#include <string_view>

namespace pdfsanitize {

// Appends s as a JSON string. Valid UTF-8 is written as it is (quote, backslash and
// control characters escaped); each byte that is not part of a valid UTF-8 sequence
// is written as the escape \udcXX, XX being the byte in hex (the "surrogate escape"
// convention: a reader that knows it gets the bytes back, any other sees U+DCXX).
void json_string(std::string &out, std::string_view s);

}  // namespace pdfsanitize
