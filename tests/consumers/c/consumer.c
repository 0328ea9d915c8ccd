/* SPDX-License-Identifier: Apache-2.0 */
/* A C host built against an installed prefix with pkg-config: scans a file by path
 * with the main library and the same bytes in memory with the ext library. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <pdfsanitize.h>
#include <pdfsanitize_ext.h>

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    const char *by_path = pdfsanitize_scan(argv[1]);
    if (!by_path) {
        fprintf(stderr, "scan: %s\n", pdfsanitize_last_error());
        return 1;
    }
    FILE *f = fopen(argv[1], "rb");
    if (!f) return 1;
    static unsigned char bytes[1 << 20];
    const size_t n = fread(bytes, 1, sizeof bytes, f);
    fclose(f);
    char *json = NULL;
    pdfsanitize_ext_error err;
    if (pdfsanitize_ext_scan(bytes, n, &json, &err) != PDFSANITIZE_EXT_OK) {
        fprintf(stderr, "ext scan: %s (%s)\n", err.message, pdfsanitize_ext_strerror(err.status));
        return 1;
    }
    const int same = strcmp(by_path, json) == 0;
    printf("%s %s %s\n", PDFSANITIZE_VERSION_STRING, pdfsanitize_ext_version(), json);
    pdfsanitize_ext_free(json);
    return same && strcmp(PDFSANITIZE_VERSION_STRING, pdfsanitize_ext_version()) == 0 ? 0 : 1;
}
