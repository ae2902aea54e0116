#include "driver/loop.hpp"

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/check.hpp"
#include "driver/devout.hpp"
#include "driver/jobctl.hpp"
#include "driver/plotrequest.hpp"
#include "driver/printerlock.hpp"
#include "driver/signals.hpp"
#include "driver/srvmsg.hpp"
#include "driver/textjob.hpp"
#include "lib/configman.hpp"
#include "lib/ioctl.hpp"
#include "lib/message.hpp"
#include "lib/paths.hpp"
#include "printers/config.hpp"
#include "render/surface.hpp"

namespace qx5 {
int PrinterNumber = 0;
int serialsetting = -1;
int UseSerial = 0;
int fdlp = -1;
int DidInit = 0;
int PlotError = 0;
int Pt = 0;

namespace {

// A decimal argument read the way atoi reads it, but clamped instead of overflowing.
int DecimalArg(const char* text) {
  const long v = std::strtol(text, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// The last record: whatever smsgp holds, as the exit kind of this printer.
[[noreturn]] void Exit() {
  Say("%s: Done with exit\n", XEQNAME);
  smsgp.cmd = ExitKind(PrinterNumber);
  SendServerMessage();
  std::exit(0);
}

// A device stream lost at the end of an earlier job, or one whose last write failed (the
// reader went away, the device vanished), is opened again before each request, which is
// answered with status 9 while that fails; nothing is ever written to a null stream.
bool DeviceReady() {
  if (lp != nullptr && std::ferror(lp) == 0) return true;
  if (ReopenDevice(false) == 0) return true;
  smsgp.status = ST_DEVICE;
  return false;
}

// The printer-state step: recovery after a failed plot, or the initialisation when due.
bool PrinterReady() {
  if (PlotError != 0) {
    smsgp.status = ST_DEVICE;
    // On failure the status stays 9, or 10 when the end sequence set it.
    if (RecoverFromPlotError() != 0) return false;
    DidInit = 1;
    // The printer is back in order: later requests must not run the end sequence again.
    PlotError = 0;
    smsgp.status = ST_DONE;
    return true;
  }
  if (DidInit == 0) {
    if (InitPrinter() != 0) {
      smsgp.status = ST_DEVICE;
      Say("ERROR: %s: Unable to do Initialization\n", XEQNAME);
      return false;
    }
    DidInit = 1;
  }
  return true;
}

int RemapPageType(int pt) {
  if (pt == 8 || pt == 10) return 6;
  if (pt == 9 || pt == 11) return 7;
  return pt;
}

void Dispatch(int cmd) {
  if (IsPlotCmd(cmd))
    PlotRequest();
  else if (IsPrintCmd(cmd))
    PrintRequest();
  else if (cmd == CMD_LINE)
    PrintLineRequest();
  else
    smsgp.status = ST_PLOT;
}

// The request's file, or the converted file when the request was converted (the file named in
// the request then stays). Only a regular file is deleted, and never the device: a request
// naming a FIFO, a device node or the printer itself leaves it in place.
void RemoveRequestFile() {
  const std::string name = JCname[0] != '\0'
                               ? std::string(JCname)
                               : std::string(FieldText(rmsgp.name, sizeof rmsgp.name));
  struct stat st, dev;
  if (name.empty() || ::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (::stat(RootPath(device).c_str(), &dev) == 0 && dev.st_dev == st.st_dev &&
      dev.st_ino == st.st_ino)
    return;
  ::unlink(name.c_str());
}

}  // namespace

void usage(const char* prog) {
  Say("\n\n");
  Say("Usage: %s printid device ps ioctl \"description\"\n", prog ? prog : "qx5lp");
  Say("\n\n");
  std::exit(0);
}

int DoLoop(char**) {
  if (GetServerMessage() < 0) {
    if (StopSignal != 0) {
      // A clean stop: the exit message carries the last record with status 0.
      Say("%s: stopped by signal %s\n", XEQNAME, StopSignalName(StopSignal));
      smsgp.status = ST_DONE;
    } else {
      Say("ERROR: %s: error in message system\n", XEQNAME);
    }
    return 0;
  }
  smsgp = rmsgp;
  JCname[0] = '\0';
  const int cmd = rmsgp.cmd;
  if (cmd == CMD_STOP) return 0;
  Pt = rmsgp.pagetype;
  rot = 0;
  smsgp.status = ST_DONE;

  // A control request to a network printer that holds no connection has nothing for it: the
  // printer ended the job's page when the connection closed, and the initialisation waits for
  // the next request with bytes for it.
  const bool nothingForPrinter = cmd == CMD_CONTROL && DeviceIsFresh();
  if (DeviceReady() && (nothingForPrinter || PrinterReady())) {
    Pt = RemapPageType(Pt);
    if (cmd == CMD_CONTROL) return ProcessCMDTO();
    Dispatch(cmd);
  }
  // A request cut off because the stop signal's grace ran out says so; the next wait for a
  // request then ends at once and the driver exits.
  if (smsgp.status != ST_DONE && StopGraceOver(ALARM_SEC))
    Say("ERROR: %s: stopped by signal %s after %d seconds\n", XEQNAME, StopSignalName(StopSignal),
        ALARM_SEC);

  // The file goes whatever the status, also when the request was not carried out.
  if (rmsgp.remove == 1 && cmd != CMD_LINE) RemoveRequestFile();
  smsgp.cmd = AnswerKind(PrinterNumber);
  SendServerMessage();
  if (lp != nullptr) std::fflush(lp);
  return 1;
}

void DriverMain(int argc, char** argv) {
  OpenStandardDescriptors();
  if (argc >= 2 && std::strcmp(argv[1], "--check") == 0) std::exit(CheckMain(argc, argv));
  InstallSignals();
  if (argc != 6) usage(argc > 0 ? argv[0] : nullptr);
  PrinterNumber = DecimalArg(argv[1]);
  if (PrinterNumber < 0 || PrinterNumber > 2) usage(argv[0]);
  SetDevice(argv[2]);
  if (std::strcmp(argv[3], "S") == 0) serialsetting = DecimalArg(argv[4]);
  std::snprintf(XEQNAME, sizeof XEQNAME, "%s", argv[5]);

  // A second driver for this printer goes before the server hears of it.
  if (LockPrinter() != 0) std::exit(0);
  if (GetAttachedServer() == 0) {
    Say("ERROR: %s: could not attach to server...exiting\n", XEQNAME);
    std::exit(0);
  }
  const std::string devpath = DeviceName();
  if (DeviceExists() == 0) {
    Say("ERROR: %s: device does not exist %s\n", XEQNAME, devpath.c_str());
    smsgp.status = ST_DEVICE;
    Exit();
  }
  if (OpenDevice() != 0) {
    Say("ERROR: %s: unable to open %s\n", XEQNAME, devpath.c_str());
    smsgp.status = ST_DEVICE;
    Exit();
  }
  fdlp = DeviceDescriptor();
  UseSerial = 0;
  if (serialsetting != -1) {
    IOCTLbaudrate(fdlp, serialsetting);
    UseSerial = 1;
  }
  Say("\nQX5 PRINTER DRIVER: \"%s\" at %s\n\n", XEQNAME, devpath.c_str());
  InitConfigure();
  ReadCodes(XEQNAME);
  FFaft = FFbef = SETUPfeed == 0 ? 1 : 0;
  if (UseSerial == 1 && SETUPbrand == 2) IOCTLxonxoff(fdlp);
  WritePrinterSetupData();

  while (DoLoop(argv) != 0) {
  }

  CloseSysgen();
  Say("\n%s: start exit\n", XEQNAME);
  ClosePlotDisplay();
  if (lp != nullptr) {
    __fpurge(lp);
    std::fclose(lp);
    lp = nullptr;
  }
  Exit();
}

}  // namespace qx5
