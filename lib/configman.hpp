// The system configuration file: fixed 64-byte records read by key.
#pragma once

namespace qx5 {

constexpr int kRecordSize = 64;

extern unsigned char* conf;  // the whole file as read; null when not loaded
extern int st_size;          // size of the loaded file in bytes
extern int MAXENTRY;         // number of whole records
extern char AnyTextConf[40];
extern const char* NullString;
// Holds a text record that fills all its 64 bytes without a NUL, terminated; valid until the
// next such record is read.
extern char LongTextConf[kRecordSize + 1];

// 0 loaded; -240 missing, empty or unreadable file; -22 no memory.
int InitConfigure();
void CloseSysgen();
// The record's integer (key 0: the language, 0 unless that language is installed), else the
// built-in default, else 0.
int IntConf(int key);
// The record's text with trailing blanks removed, NullString when empty, else the built-in
// default (in AnyTextConf), else null.
const char* TextConf(int key);

}  // namespace qx5
