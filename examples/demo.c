/* SPDX-License-Identifier: Apache-2.0 */
/* A host program written in C: scans a PDF file, then writes a fully sanitised copy.
 * Usage: pdfsanitize_demo IN.pdf OUT.pdf */
#include <stdio.h>

#include "pdfsanitize.h"

int main(int argc, char **argv) {
    const char *report;
    if (argc != 3) {
        fprintf(stderr, "usage: %s IN.pdf OUT.pdf\n", argv[0]);
        return 2;
    }
    pdfsanitize_init();
    report = pdfsanitize_scan(argv[1]);
    if (!report) {
        fprintf(stderr, "scan failed: %s\n", pdfsanitize_last_error());
        return 2;
    }
    printf("%s: %s\n", argv[1], report);
    if (!pdfsanitize_full(argv[1], argv[2])) {
        fprintf(stderr, "sanitise failed: %s\n", pdfsanitize_last_error());
        return 2;
    }
    printf("wrote %s\n", argv[2]);
    pdfsanitize_cleanup();
    return 0;
}
