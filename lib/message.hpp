// The driver's messages: every progress and error line is made and written here, to standard
// output (the log). This module owns what every line needs: the printer's name and the
// language. The log never holds the driver up: a log that takes no byte for a second is given
// up on, and lines are dropped (and counted) until it takes bytes again.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>

namespace qx5 {

extern char XEQNAME[40];  // the printer's name: the first argument of nearly every line
extern int QX5LANG;       // the system's language code 0..8 (6 Kanji), set by the plot fonts

// How long the log may take no byte before it is given up on.
constexpr int kLogPatienceMs = 1000;

// Formats as printf does and writes the text (one or more whole lines) to the log at once.
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void VSay(const char* format, va_list ap) __attribute__((format(printf, 1, 0)));

// Writes text to the log. While the log takes bytes, the text goes out whole. A log that takes
// no byte for kLogPatienceMs is given up on: the text is dropped, and so is every later one at
// once, without waiting, until the log takes bytes again; the first text that then gets out is
// preceded by a line saying how many were dropped. True when the text got out.
bool LogWrite(const char* text, size_t len);
// Texts dropped since the log last took bytes.
long LogDropped();

// A finding: a line about a mistake in the installation's files or set-up, naming what is
// wrong, where, and what the driver does instead. Said like any other line, and counted.
void SayFinding(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Findings said since the process started.
long FindingCount();
// While on, only findings and notes reach the log: the check of a printer shows nothing else.
void SetFindingsOnly(bool on);
// A line that reaches the log even while only findings do; not counted.
void SayNote(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where to look: the whole path, with ":<line>" when line is above 0.
std::string Where(const char* path, int line = 0);
// The reason of a failed system call, as strerror gives it.
const char* Reason(int err);

// Descriptors 0, 1 and 2 that are closed are opened on /dev/null, so that nothing the process
// opens later (the device above all) takes their place and receives the log.
void OpenStandardDescriptors();

}  // namespace qx5
