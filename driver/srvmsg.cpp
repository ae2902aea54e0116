#include "driver/srvmsg.hpp"

#include <cstring>

namespace qx5 {
int SrvKey = 0;
int SrvId = -1;
int pid = 0;
SrvMsg rmsgp;
SrvMsg smsgp;

int32_t BodyInt(const SrvMsg& m, int off) {
  int32_t v;
  std::memcpy(&v, m.head + off, sizeof v);
  return v;
}
void SetBodyInt(SrvMsg& m, int off, int32_t v) { std::memcpy(m.head + off, &v, sizeof v); }
std::string_view FieldText(const char* field, size_t width) {
  return std::string_view(field, strnlen(field, width));
}
std::string_view LineText(const SrvMsg& m) { return FieldText(m.head + kNameOff, kLineTextMax); }
char* LineTextPtr(SrvMsg& m) { return m.head + kNameOff; }

// SCAFFOLD: implementation pending.
int AttachKind(int) { return 0; }
int AnswerKind(int) { return 0; }
int ExitKind(int) { return 0; }
bool IsPlotCmd(int) { return false; }
bool IsPrintCmd(int) { return false; }
int GetAttachedServer() { return 0; }
int SendServerMessage() { return -1; }
int GetServerMessage() { return -1; }
}  // namespace qx5
