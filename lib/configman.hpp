// The system configuration file: fixed 64-byte records read by key.
#pragma once

namespace qx5 {

extern unsigned char* conf;  // the whole file as read; null when not loaded
extern int st_size;          // size of the loaded file in bytes
extern int MAXENTRY;         // number of whole records
extern char AnyTextConf[40];
extern const char* NullString;

// 0 loaded; -240 missing, empty or unreadable file; -22 no memory.
int InitConfigure();
void CloseSysgen();
int IntConf(int key);
const char* TextConf(int key);

}  // namespace qx5
