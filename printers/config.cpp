#include "printers/config.hpp"

namespace qx5 {
int SETUPbrand = 0;
char SETUPcode[16];
int SETUPlang = 'E';
int SETUPcolor = 0;
int SETUPfeed = 0;
int SETUPxdpi = 120;
int SETUPydpi = 72;
int SETUPserialnap = 0;
char SETUPpaper[16];
int SETUPpenct = 2;
int SETUPversion = 0;
// SCAFFOLD: implementation pending.
int ReadCodes(const char*) { return 0; }
int DoSETUP(const char*) { return 0; }
int GetInt(int, int, const char*, const char*, int*, int) { return 1; }
int WritePrinterSetupData() { return 0; }
}  // namespace qx5
