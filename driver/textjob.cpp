#include "driver/textjob.hpp"

#include "driver/srvmsg.hpp"

namespace qx5 {
char Str[504];
char s[100];
// SCAFFOLD: implementation pending.
void PrintRequest() { smsgp.status = ST_PLOT; }
void PrintLineRequest() { smsgp.status = ST_PLOT; }
void JCFile(char*, int) {}
int JCLine(char*, int) { return 0; }
int CheckFileLen(const char*) { return 0; }
}  // namespace qx5
