// Text jobs: print requests, one-line requests and the Japanese code conversion.
#pragma once

namespace qx5 {

extern char Str[504];
extern char s[100];

// Commands 9, 10, 57, 59: print the text file named by the request.
void PrintRequest();
// Command 33: print the line carried in the request.
void PrintLineRequest();
// Converts the file name (a buffer of size bytes) into this driver's "/u/tmp/jis<n>" and puts
// the path of the converted file into name. Nothing happens for an empty name or when the
// command line would not fit (an error line is printed; the file is printed unconverted).
void JCFile(char* name, int size);
// Converts text (size bytes, NUL-terminated or filling them) in place, through
// "/u/tmp/jistmp<n>"; it stays unchanged when the conversion yields nothing and is cut to
// size - 1 bytes when it yields more. Always 0.
int JCLine(char* text, int size);
// The file's size in bytes (path as used, not under the root); 0 when unknown.
int CheckFileLen(const char* path);

}  // namespace qx5
