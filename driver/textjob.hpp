// Text jobs: print requests, one-line requests and the Japanese code conversion.
#pragma once

namespace qx5 {

extern char Str[504];
extern char s[100];

// Commands 9, 10, 57, 59: print the text file named by the request.
void PrintRequest();
// Command 33: print the line carried in the request.
void PrintLineRequest();
void JCFile(char* name, int size);
int JCLine(char* text, int size);
int CheckFileLen(const char* path);

}  // namespace qx5
