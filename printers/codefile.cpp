#include "printers/codefile.hpp"

namespace qx5 {
PrCmd PrCmds[kMaxCmds];
int PrCmdsCt = 0;
char HASPCL[kCodeMax];
int HASPCLct = 0;
char INITLN[kCodeMax];
int INITLNct = 0;
char MAPLF[kCodeMax];
int MAPLFct = 0;
char RESET[kCodeMax];
int RESETct = 0;
char EJECT[kCodeMax];
int EJECTct = 0;
char CR[kCodeMax];
int CRct = 0;
char FF[kCodeMax];
int FFct = 0;
char PORT[kCodeMax];
int PORTct = 0;
char GREND[kCodeMax];
int GRENDct = 0;
char GRS[10][kCodeMax];
int GRSct[10];
char GRSRW[kCodeMax];
int GRSRWct = 0;
char GRSDPI[kCodeMax];
int GRSDPIct = 0;
char GRSMOD[kCodeMax];
int GRSMODct = 0;
char GRSDIV[kCodeMax];
int GRSDIVct = 0;
char SETUPeuc_filter[80];
char SETUPfontSpacing[kCodeMax];
int SETUPfontSpacingLen = 0;
// SCAFFOLD: implementation pending.
int ReadCodeFile(const char*, char*) { return 0; }
int MapCodes(char* line, int, size_t) { return line[0] = 0; }
int GetConstants(const char*, char* dst, int* len) { return *len = dst[0] = 0; }
int SetPrinterCodes(char*) { return 1; }
}  // namespace qx5
