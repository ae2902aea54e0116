// Lookup of the printer definition files, and the small field scanner their readers share.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

namespace qx5 {

// Lines of the definition files are read 98 characters at a time (longer lines in pieces).
constexpr int kDefLineRead = 99;  // fgets size: 98 characters and the NUL

// Opens "/u/qx5/usr_data/printers/<name>", else "/u/qx5/def_data/printers/<name>"; used (when
// given) gets the path opened, as actually used. When neither opens: prints "%s: Could not
// open file: %s\n" and a line naming both paths tried with the reason of each; null.
FILE* OPENDATAFILE(const char* name, std::string* used = nullptr);
// The path of a printer definition file in the user (true) or default data directory.
std::string DataFilePath(const char* name, bool user);

// The lines of one definition file, read kDefLineRead bytes at a time (a long line comes in
// pieces, which share its number; a last line without its newline is given one).
struct DefLines {
  FILE* f;
  int lineno = 0;     // number of the line the last piece belongs to, from 1
  bool ended = true;  // the last piece ended its line
  // The next piece into line (kDefLineRead bytes); null at the end of the file.
  char* Next(char* line);
};
// Removes the newline at the end of line, if there is one.
void DropNewline(char* line);

// 1 when a definition-file line is a comment or empty ('!', newline or carriage return first).
int SkipDefLine(const char* line);

// Field scanner with the rules of scanf's %s, %d and %lf, but bounded: each call skips blanks
// and converts one field at *p, advancing *p past it; 0 when no field could be converted.
// A word longer than cap - 1 characters is taken whole but stored cut; its full length is
// returned (so callers can refuse it), else 0.
size_t ScanWord(const char** p, char* out, size_t cap);
// A decimal integer (optional sign); values beyond the int range are clamped.
int ScanInt(const char** p, int* out);
// A finite decimal number; inf and nan are not taken.
int ScanDouble(const char** p, double* out);

}  // namespace qx5
