// Lookup of the printer definition files: the user data directory before the default one.
#pragma once
#include <cstdio>

namespace qx5 {

// Opens "/u/qx5/usr_data/printers/<name>", else "/u/qx5/def_data/printers/<name>";
// prints "%s: Could not open file: %s\n" and returns null when neither opens.
FILE* OPENDATAFILE(const char* name);

}  // namespace qx5
