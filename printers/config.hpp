// The printer's configuration line and the setup data file.
#pragma once
#include <cstddef>

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

// Copies the text src into the buffer dst of cap bytes, cut to cap - 1 characters.
void CopyName(char* dst, size_t cap, const char* src);

int ReadCodes(const char* name);
int DoSETUP(const char* text);
int GetInt(int count, int index, const char* label, const char* text, int* out, int deflt);
int WritePrinterSetupData();

}  // namespace qx5
