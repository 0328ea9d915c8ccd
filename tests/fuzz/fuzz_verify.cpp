// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes given to the output verifier as if the writer had produced them: it
// must finish, and every finding must carry a kind, a holder and a path it can name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pdfsanitize/verify.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace pdfsanitize;
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const verify_result r = verify_output(bytes);
    for (const reach_finding &f : r.findings) {
        if (static_cast<int>(f.kind) >= reach_kind_count || static_cast<int>(f.holder) >= reach_holder_count) std::abort();
        if (f.kind != reach_kind::unverifiable && f.path.rfind("Root", 0) != 0 && f.path.rfind("Info", 0) != 0) std::abort();
        for (const mode_promise &p : mode_promises()) (void)breaks_promise(p, f);
    }
    if (r.objects_reached < 0) std::abort();
    return 0;
}
