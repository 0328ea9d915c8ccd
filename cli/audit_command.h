// The audit subcommand and the --strict check, on the library's internal API.
#pragma once

#include <string>

// pdfsanitize audit FILE...: one JSON line per file; the exit status.
int cmd_audit(int argc, char **argv);

// The blind spots of a mode ("full", "remove-js", ...) for a file, comma-separated;
// empty when there are none, or when the file cannot be loaded (the run reports that).
std::string strict_blind_spots(const char *path, const char *mode);
