#include "driver/jobctl.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/devout.hpp"
#include "driver/loop.hpp"
#include "driver/plotrequest.hpp"
#include "driver/srvmsg.hpp"
#include "lib/message.hpp"
#include "printers/codefile.hpp"
#include "printers/config.hpp"
#include "printers/paper.hpp"

namespace qx5 {
int FFbef = 0;
int FFaft = 0;
int ffpending = 0;
int didlines = 0;
char string[200];

namespace {

constexpr int kMaxField = 255;  // widths and precisions of start strings are capped here

// Sends a code table up to its first NUL; a code of length 0 is absent and sends nothing.
int SendCode(const char* code, int ct) {
  return ct == 0 ? 0 : FPUTS(code, lp);
}

// A form-feed setting from its two size bits: 1 when only `always` is set; when only
// `single` is set, 1 on a single-sheet printer; 0 when neither or both are set.
int FormFeedSetting(int flags, int always, int single) {
  bool a = (flags & always) != 0;
  bool s = (flags & single) != 0;
  if (a && !s) return 1;
  if (s && !a) return SETUPfeed == 0 ? 1 : 0;
  return 0;
}

// The raster width in dots, truncated toward zero (and kept inside the int range).
int RasterWidth() {
  double w = SETUPxdpi * PAPERwIN;
  if (!(w < INT_MAX)) return INT_MAX;
  if (!(w > INT_MIN)) return INT_MIN;
  return static_cast<int>(w);
}

// Reads the digits at c as a field width or precision, capped at kMaxField.
int FieldNumber(const char*& c) {
  int n = 0;
  for (; *c >= '0' && *c <= '9'; ++c) n = std::min(n * 10 + (*c - '0'), kMaxField);
  return n;
}

// The integer conversion at c, "%" [-+ 0]... [width] [.precision] then "d" or "i": formats
// value by it into num and returns its length in the code; 0 when c holds none. The format
// handed to snprintf is rebuilt from the parsed parts, never taken from the code.
size_t IntConversion(const char* c, int value, std::string& num) {
  if (c[0] != '%') return 0;
  const char* p = c + 1;
  std::string format = "%";
  while (*p != '\0' && std::strchr("-+ 0", *p) != nullptr) format += *p++;
  if (*p >= '0' && *p <= '9') format += std::to_string(FieldNumber(p));
  if (*p == '.') {
    ++p;
    format += "." + std::to_string(FieldNumber(p));
  }
  if (*p != 'd' && *p != 'i') return 0;
  format += 'd';
  char buf[2 * kMaxField + 16];
  const int n = std::snprintf(buf, sizeof buf, format.c_str(), value);
  num.assign(buf, n > 0 ? std::min(static_cast<size_t>(n), sizeof buf - 1) : 0);
  return static_cast<size_t>(p + 1 - c);
}

int SendPaperSize() {
  const int n = PaperCode(SETUPpaper, "SZ", string, sizeof string);
  return n > 0 && WRITE(lp, string, n) ? 1 : 0;
}

}  // namespace

int FormatCode(const char* code, int value, char* out, size_t cap) {
  if (cap == 0) return 0;
  size_t o = 0;
  bool done = false;
  std::string num;
  for (const char* c = code; *c != '\0' && o + 1 < cap;) {
    size_t len = 0;
    if (c[0] == '%' && c[1] == '%') {
      out[o++] = '%';
      c += 2;
    } else if (!done && (len = IntConversion(c, value, num)) > 0) {
      for (size_t i = 0; i < num.size() && o + 1 < cap; ++i) out[o++] = num[i];
      c += len;
      done = true;
    } else {
      out[o++] = *c++;
    }
  }
  out[o] = '\0';
  return static_cast<int>(o);
}

int InitPrinter() {
  // A new connection to a network printer is a new job on it: it gets its paper's size, which
  // a printer on a port keeps from the start, also where there is nothing else to send.
  if (SETUPbrand == 0 || HASPCLct == 0) return DeviceIsFresh() ? SendPaperSize() : 0;
  if (SendCode(RESET, RESETct) || SendCode(MAPLF, MAPLFct) || SendCode(PORT, PORTct)) return 1;
  return SendPaperSize();
}

int Eject(const char*, int wanted) {
  if (wanted == 0) return 0;
  if (EJECTct != 0) return SendCode(EJECT, EJECTct);
  return SendCode(FF, FFct);
}

int StartPlot() {
  if (SETUPbrand == 2) return 0;
  if (Eject("FFbef", FFbef)) return 1;
  if (SETUPbrand == 1) {
    for (int i = 0; i < 10 && GRSct[i] != 0; ++i) {
      int value = 0;
      bool format = true;
      if (GRSRWct == 1 && static_cast<unsigned char>(GRSRW[0]) == i)
        value = RasterWidth();
      else if (GRSDPIct == 1 && static_cast<unsigned char>(GRSDPI[0]) == i)
        value = SETUPxdpi;
      else
        format = false;
      // Room for the whole code plus the widest number a capped width or precision gives.
      char formatted[kCodeMax + 2 * kMaxField + 16];
      const char* send = GRS[i];
      if (format && FormatCode(GRS[i], value, formatted, sizeof formatted) > 0) send = formatted;
      if (FPUTS(send, lp)) return 1;
    }
  } else if (GRSMODct != 0 && GRSDIVct != 0) {
    unsigned m = static_cast<unsigned char>(GRSMOD[0]);
    unsigned d = static_cast<unsigned char>(GRSDIV[0]);
    unsigned len = static_cast<unsigned>(GRSct[0]);
    if (m < len && d < len) {
      GRS[0][m] = static_cast<char>(static_cast<unsigned char>(BYTE_WIDE % 256));
      GRS[0][d] = static_cast<char>(static_cast<unsigned char>(BYTE_WIDE / 256));
    }
  }
  return 0;
}

int EndPlot() {
  if (SETUPbrand == 2) {
    if (HASPCLct == 0) {
      smsgp.status = ST_DONE;
      return 0;
    }
    smsgp.status = ST_PLOT;
    if (SendCode(MAPLF, MAPLFct) || SendCode(PORT, PORTct)) return 1;
  } else if (SETUPbrand == 1) {
    smsgp.status = ST_PLOT;
    if (HASPCLct == 0) {
      smsgp.status = ST_DONE;
      return 0;
    }
    if (SendCode(GREND, GRENDct) || SendCode(CR, CRct) || Eject("FFaft", FFaft)) return 1;
    if (Pt != 2 && SendCode(MAPLF, MAPLFct)) {
      DidInit = 0;
      return 1;
    }
    if (FFaft == 0 && FPUTS("\n", lp)) return 1;
  } else {
    smsgp.status = ST_PLOT;
    if (Eject("FFaft", FFaft)) return 1;
    if (FFaft == 0 && FPUTS("\n", lp)) return 1;
  }
  smsgp.status = ST_DONE;
  return 0;
}

int ProcessCMDTO() {
  const int subcmd = BodyInt(rmsgp, kSubcmdOff);
  int answerSub = 1;
  int sizeFailed = 0;
  if (subcmd == 0) {
    ffpending = BodyInt(rmsgp, kFormfeedOff);
    // A network printer whose connection closed has ended the page itself.
    const bool eject = ffpending != 0 && didlines != 0 && !DeviceIsFresh();
    if (BodyInt(rmsgp, kJobendOff) == 0) {
      if (eject) {
        if (Eject("PRINTER_BEGIN", 1)) return 1;
        ffpending = 0;
      }
    } else {
      if (eject) {
        if (Eject("PRINTER_END", 1)) return 1;
        ReopenDevice(false);
      }
      ffpending = 0;
      // A network printer serves one connection at a time: free it for others.
      ReleaseDevice();
    }
    didlines = 0;
    answerSub = 0;
  } else if (subcmd == 1) {
    char paper[sizeof rmsgp.paper + 1];
    std::string_view p = FieldText(rmsgp.paper, sizeof rmsgp.paper);
    std::memcpy(paper, p.data(), p.size());
    paper[p.size()] = '\0';
    if (paper[0] != '\0') GetPageSize(paper, 0, &sizeFailed);
    if (sizeFailed) Say("ERROR: %s: Unable to send the page size of %s\n", XEQNAME, paper);
    const int flags = BodyInt(rmsgp, kFfflagsOff);
    if (flags & 0x01) FFbef = FormFeedSetting(flags, 0x02, 0x10);
    if (flags & 0x04) FFaft = FormFeedSetting(flags, 0x08, 0x20);
    if (BodyInt(rmsgp, kReinitOff) != 0) DidInit = 0;
  }
  SetBodyInt(smsgp, kSubcmdOff, answerSub);
  smsgp.dstpid = rmsgp.srcpid;
  smsgp.cmd = CMD_CONTROL_ANSWER;
  // A page-size command that did not reach the printer leaves it on another paper.
  smsgp.status = sizeFailed ? ST_DEVICE : ST_DONE;
  SendServerMessage();
  return 1;
}

}  // namespace qx5
