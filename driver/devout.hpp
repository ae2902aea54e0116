// Guarded device output: every byte to the printer goes through WRITE or FPUTS under an alarm.
#pragma once
#include <csignal>
#include <cstdio>

namespace qx5 {

extern int ALARM_SEC;
extern volatile sig_atomic_t SigAlarm;
extern int RecoverFromPlotnb;
// Bytes the last WRITE got to the device (all of them unless it failed or was cut off).
extern int WRITEsent;
extern FILE* lp;
extern char device[40];

// 0 when the write finished within ALARM_SEC seconds, 1 when the alarm fired or the stream
// reported an error (EPIPE, a vanished device).
int WRITE(FILE* stream, const void* data, int len);
// 0 on success, 1 when the write failed or the alarm fired (a line is printed).
int FPUTS(const char* str, FILE* stream);
void sigalrm(int sig);
// 1 when the path exists, 0 otherwise.
int CheckFile(const char* path);

// Opens the device (under the installation root) for writing as the unbuffered lp; never
// creates it. 0 on success, 1 on failure (lp stays null).
int OpenDevice();
// End of a job: discard what lp still holds (after a flush when asked), close it and open
// the device again. On failure prints "ERROR: %s: unable to open %s\n" and leaves lp null.
int ReopenDevice(bool flush_first);

// Brings the printer back into order after a plot whose raster transfer was cut off.
int RecoverFromPlotError();

}  // namespace qx5
