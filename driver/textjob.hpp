// Text jobs: print requests, one-line requests and the Japanese code conversion.
#pragma once
#include <climits>
#include <cstddef>
#include <cstdio>

namespace qx5 {

// The conversion command line "FILTER 'in'": room for the longest filter (79 characters) and
// a path of PATH_MAX quoted for the shell (each character may become four, plus the two
// quotes), so that any request's file converts.
constexpr size_t kQuotedPathMax = 4 * PATH_MAX + 2;
constexpr size_t kCommandMax = 79 + 1 + kQuotedPathMax + 1;

extern char Str[504];
extern char s[kCommandMax];
// The converted file of the current print request ("/u/tmp/jis<n>" under the root); empty
// when the request was not converted. The remove flag of the request deletes this file then.
extern char JCname[PATH_MAX];

// Commands 9, 10, 57, 59: print the text file named by the request.
void PrintRequest();
// Command 33: print the line carried in the request.
void PrintLineRequest();
// Converts the file name into this driver's "/u/tmp/jis<n>", puts that path into JCname and
// returns the converted file open for reading. The filter's output comes through a pipe and
// the driver writes the file itself. Null, with an error line and the file removed, when the
// conversion could not be run, did not finish within ALARM_SEC seconds, failed (a non-zero
// exit status), could not create or write the file (a read-only or full /u/tmp) or wrote
// nothing for a non-empty file: nothing unconverted is ever printed.
FILE* JCFile(const char* name);
// Converts text (size bytes, NUL-terminated or filling them) in place, through
// "/u/tmp/jistmp<n>" into "/u/tmp/jis<n>"; it is cut to size - 1 bytes when the conversion
// yields more. 0 on success; 1, with an error line, both files removed and the text
// unchanged, when the conversion failed as for JCFile.
int JCLine(char* text, int size);
// The file's size in bytes (path as used, not under the root); 0 when unknown.
int CheckFileLen(const char* path);

}  // namespace qx5
