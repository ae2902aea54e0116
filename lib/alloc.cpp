#include "lib/alloc.hpp"

#include <cctype>
#include <cstdlib>

#include "lib/message.hpp"

namespace qx5 {

namespace {
constexpr int kKanji = 6;
}

// The labels only name the call site; the block comes zero-filled from the C heap.
void* MallocIt(const char*, const char*, int size) {
  if (size < 0) return nullptr;
  if (size == 0) return std::malloc(0);
  return std::calloc(static_cast<size_t>(size), 1);
}

void* DFmalloc(const char* caller, const char* tag, int size) {
  return MallocIt(caller, tag, size);
}

void FreeIt(const char*, const char*, void* block) {
  std::free(block);
}

void DFfree(const char* caller, const char* tag, void* block) {
  if (block != nullptr) FreeIt(caller, tag, block);
}

FILE* DFfopen(const char*, const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  return std::fopen(path, mode);
}

void DFfclose(const char*, FILE* stream) {
  if (stream != nullptr) std::fclose(stream);
}

// Bytes from 127 up are parts of Japanese multi-byte characters in Kanji mode: left alone.
int DFtoupper(int c) {
  int byte = c & 0xFF;
  if (QX5LANG == kKanji && byte >= 127) return byte;
  return std::toupper(byte);
}

}  // namespace qx5
