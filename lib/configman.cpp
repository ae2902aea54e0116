#include "lib/configman.hpp"

namespace qx5 {
unsigned char* conf = nullptr;
int st_size = 0;
int MAXENTRY = 0;
char AnyTextConf[40];
const char* NullString = "";
// SCAFFOLD: implementation pending.
int InitConfigure() { return -240; }
void CloseSysgen() {}
int IntConf(int) { return 0; }
const char* TextConf(int) { return nullptr; }
}  // namespace qx5
