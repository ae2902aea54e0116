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
// 1 when the printer's CONFIG line and code file were read; 0 otherwise (and at start), when
// the printer runs on defaults without codes and its plots are refused.
extern int DefinitionLoaded;

// Copies the text src into the buffer dst of cap bytes, cut to cap - 1 characters.
void CopyName(char* dst, size_t cap, const char* src);

// 1 when the printer's line was found and its code file read (DefinitionLoaded); 0 otherwise,
// after a line saying what failed and how the printer runs instead.
int ReadCodes(const char* name);
// Takes a CONFIG line's text after the printer's name; where ("path:line", or null) is named in
// its messages. 0 when the line is refused (fewer than nine fields, a code file name longer than
// 15 characters): nothing is changed.
int DoSETUP(const char* text, const char* where = nullptr);
int GetInt(int count, int index, const char* label, const char* text, int* out, int deflt);
int WritePrinterSetupData();

}  // namespace qx5
