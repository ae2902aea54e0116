// Labelled allocation and file wrappers, and the Kanji-safe upper-case conversion.
#pragma once
#include <cstdio>

namespace qx5 {

// A zero-filled block of size bytes, or null when no memory is left (or size is negative).
void* DFmalloc(const char* caller, const char* tag, int size);
void* MallocIt(const char* caller, const char* tag, int size);
// Releases a block from DFmalloc; null is ignored.
void DFfree(const char* caller, const char* tag, void* block);
void FreeIt(const char* caller, const char* tag, void* block);
FILE* DFfopen(const char* caller, const char* path, const char* mode);
void DFfclose(const char* caller, FILE* stream);
// Upper case of the low byte of c; bytes of 127 and above stay unchanged in Kanji mode.
int DFtoupper(int c);

}  // namespace qx5
