#include "driver/devout.hpp"

namespace qx5 {
int ALARM_SEC = 60;
volatile sig_atomic_t SigAlarm = 0;
FILE* lp = nullptr;
char device[40] = "/dev/lp";
// SCAFFOLD: implementation pending.
int WRITE(FILE*, const void*, int) { return 1; }
int FPUTS(const char*, FILE*) { return 1; }
void sigalrm(int) { SigAlarm = 1; }
int CheckFile(const char*) { return 0; }
int OpenDevice() { return 1; }
int ReopenDevice(bool) { return 1; }
}  // namespace qx5
