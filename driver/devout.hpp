// The output device and the guarded writes. The device is one interface with two kinds: a path
// (a parallel, USB or serial port, a FIFO, a regular file) and a network printer
// (socket://HOST[:PORT], see netprinter.hpp). The job code writes to lp with WRITE and FPUTS and
// never to a kind of device: both kinds take bytes under the same rule (a write fails only
// when the device has taken no byte for ALARM_SEC seconds) and are recovered the same way.
#pragma once
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <string>

namespace qx5 {

extern int ALARM_SEC;
// 1 when the last guarded write was cut off by the time-out.
extern volatile sig_atomic_t SigAlarm;
extern int RecoverFromPlotnb;
// Bytes the last WRITE got to the device (all of them unless it failed or was cut off).
extern int WRITEsent;
// The open device: an unbuffered stream whose writes go to the device under the time-out rule.
extern FILE* lp;
// The device: its path (taken under the installation root), or socket://HOST:PORT.
constexpr size_t kDeviceMax = 4096;
extern char device[kDeviceMax];

// 0 when every byte reached the device, 1 when it was cut off by the time-out or the device
// failed (EPIPE, a vanished device, a broken connection). WRITEsent says how far it got.
int WRITE(FILE* stream, const void* data, int len);
// 0 on success, 1 when the write failed or was cut off (a line is printed).
int FPUTS(const char* str, FILE* stream);
// The SIGALRM handler: sets SigAlarm and nothing else.
void sigalrm(int sig);
// 1 when the path exists, 0 otherwise.
int CheckFile(const char* path);

// Takes the device argument: an absolute path is this printer's device, socket://HOST[:PORT]
// a network printer; any other word keeps "/dev/lp".
void SetDevice(const char* arg);
// The device as messages name it: the path actually used, or the printer's address.
std::string DeviceName();
// Why the device argument names no usable device (a bad network address, a name too long);
// empty when it names one.
std::string DeviceProblem();
// 1 when the device can be used: a path that exists, or a network printer (which is reached
// only when a request has bytes for it). 0 otherwise; an argument that names no usable device
// (a bad network address, a name too long) is said first.
int DeviceExists();
// The descriptor of the open path device (for the serial line settings), else -1.
int DeviceDescriptor();

// Opens the device as the unbuffered lp. A path is only ever opened, never created, and a
// regular file is appended to, never truncated; a FIFO without a reader is waited for at most
// ALARM_SEC seconds. A network printer is not connected here. 0 on success, 1 on failure (lp
// stays null).
int OpenDevice();
// After a request: discard what lp still holds (after a flush when asked), close it and open
// the device again. On failure prints "ERROR: %s: unable to open %s\n" and leaves lp null. A
// network printer keeps its connection: the requests of a job share it.
int ReopenDevice(bool flush_first);
// The end of a job: a network printer is released (the connection closed); a path stays open.
void ReleaseDevice();
// True while a network printer's connection is open.
bool DeviceHeld();
// Before a request: a network printer that closed its connection while the driver waited is
// let go, so that the request's bytes go on a new connection.
void ForgetClosedDevice();
// True when the device holds nothing of an earlier request: a network printer without a
// connection, whose next bytes begin a new job on it.
bool DeviceIsFresh();

// Brings the printer back into order after a plot whose raster transfer was cut off.
int RecoverFromPlotError();

}  // namespace qx5
