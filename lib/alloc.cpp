#include "lib/alloc.hpp"

namespace qx5 {
// SCAFFOLD: implementation pending.
void* DFmalloc(const char*, const char*, int) { return nullptr; }
void* MallocIt(const char*, const char*, int) { return nullptr; }
void DFfree(const char*, const char*, void*) {}
void FreeIt(const char*, const char*, void*) {}
FILE* DFfopen(const char*, const char* path, const char* mode) { return fopen(path, mode); }
void DFfclose(const char*, FILE* stream) { fclose(stream); }
int DFtoupper(int c) { return c; }
}  // namespace qx5
