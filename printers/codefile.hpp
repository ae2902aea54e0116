// The printer code file: the command table, the escape translation and the code tables.
#pragma once
#include <cstddef>

namespace qx5 {

constexpr int kMaxCmds = 200;
constexpr int kCodeMax = 20;    // a code table holds at most 19 bytes and a NUL
constexpr int kCodeBytes = 59;  // code bytes of one command
constexpr int kMapWork = 500;   // the translation's work buffer

struct PrCmd {
  char name[10];
  unsigned char count;
  unsigned char codes[kCodeBytes];
};

extern PrCmd PrCmds[kMaxCmds];
extern int PrCmdsCt;

extern char HASPCL[kCodeMax];
extern int HASPCLct;
extern char INITLN[kCodeMax];
extern int INITLNct;
extern char MAPLF[kCodeMax];
extern int MAPLFct;
extern char RESET[kCodeMax];
extern int RESETct;
extern char EJECT[kCodeMax];
extern int EJECTct;
extern char CR[kCodeMax];
extern int CRct;
extern char FF[kCodeMax];
extern int FFct;
extern char PORT[kCodeMax];
extern int PORTct;
extern char GREND[kCodeMax];
extern int GRENDct;
extern char GRS[10][kCodeMax];
extern int GRSct[10];
extern char GRSRW[kCodeMax];
extern int GRSRWct;
extern char GRSDPI[kCodeMax];
extern int GRSDPIct;
extern char GRSMOD[kCodeMax];
extern int GRSMODct;
extern char GRSDIV[kCodeMax];
extern int GRSDIVct;
// 8COMPRESS: one byte, the compression mode of the raster rows (2 PackBits, 3 delta row).
extern char COMPRESS[kCodeMax];
extern int COMPRESSct;
// 7VECTORS: one byte, 1 when an HPGL printer takes its plots as HP-GL vectors.
extern char VECTORS[kCodeMax];
extern int VECTORSct;
extern char SETUPeuc_filter[80];
extern char SETUPfontSpacing[kCodeMax];
extern int SETUPfontSpacingLen;

// 1 when the file was read, 0 when it failed to open. line: a buffer of at least 100 bytes.
int ReadCodeFile(const char* name, char* line);
// Translates the escapes of line in place, reading at most maxlen input positions and never
// writing more than cap bytes (NUL included). Returns the translated length.
int MapCodes(char* line, int maxlen, size_t cap);
// The same over exactly len bytes of line, NUL bytes included (they are sent like any other).
int MapBytes(char* line, size_t len, size_t cap);
// The length of the longest start of text (len bytes) that no escape reaches beyond: len, or
// the position of an escape that begins there and ends after len bytes (also a backslash, or a
// backslash and "!", at the very end: the first bytes of what may be an escape).
size_t WholeEscapes(const char* text, size_t len);
// The code called name into dst (cap bytes, NUL included); returns its length, 0 when absent.
// A code lookup never reloads the code file, whatever the code's bytes are.
int GetConstants(const char* name, char* dst, int* len, size_t cap = kCodeMax);
int SetPrinterCodes(char* scratch);
// The compression mode the printer takes for raster rows: 2 or 3 when its code file has
// 8COMPRESS with that byte (or that digit, in ASCII mode), else 0 (rows uncompressed).
int CompressionMode();
// True when plots go to this printer as HP-GL vectors: an HPGL printer whose code file has
// 7VECTORS with the byte 1 (or the digit 1, in ASCII mode).
bool VectorPlots();

}  // namespace qx5
