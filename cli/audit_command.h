// The audit subcommand and the verified sanitising run (--strict, --report), on the
// library's internal C++ API.
#pragma once

// pdfsanitize audit FILE...: one JSON line per file; the exit status.
int cmd_audit(int argc, char **argv);

// Sanitises in with the named mode, verifies the output in memory, and writes it to out
// unless strict is set and the mode's promise is broken. With report_path, the run's
// report is written there. The exit status: 0 written, 2 failed, 3 refused.
int run_verified(const char *mode, const char *in, const char *out, bool strict, const char *report_path);
