// The printer's configuration line and the setup data file.
#pragma once

namespace qx5 {

extern int SETUPbrand;  // 0 EPSON, 1 HPPCL, 2 HPGL
extern char SETUPcode[16];
extern int SETUPlang;  // 'E' or 'K'
extern int SETUPcolor;
extern int SETUPfeed;  // 0 single sheet, 1 tractor
extern int SETUPxdpi;
extern int SETUPydpi;
extern int SETUPserialnap;
extern char SETUPpaper[16];
extern int SETUPpenct;
extern int SETUPversion;

int ReadCodes(const char* name);
int DoSETUP(const char* text);
int GetInt(int count, int index, const char* label, const char* text, int* out, int deflt);
int WritePrinterSetupData();

}  // namespace qx5
