// The server message queue protocol: the one record type SrvMsg and the queue calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qx5 {

constexpr int kBodySize = 224;

// A message-queue record: the type, then a body of exactly 224 bytes.
struct SrvMsg {
  long mtype;
  char head[8];  // carried unchanged from request to answer
  int32_t srcpid;
  int32_t dstpid;
  int32_t cmd;
  int32_t status;
  int32_t spare;
  char name[80];  // file name, or the one-line text (which may run on to the end of the body)
  int32_t pagetype;
  int32_t remove;
  char paper[8];
  char title[100];
};
static_assert(sizeof(SrvMsg) == sizeof(long) + kBodySize);
static_assert(offsetof(SrvMsg, title) - offsetof(SrvMsg, head) == 124);

// Body offsets of the control request fields (command 60).
constexpr int kSubcmdOff = 28;
constexpr int kJobendOff = 36;
constexpr int kFormfeedOff = 40;
constexpr int kFfflagsOff = 48;
constexpr int kReinitOff = 132;
// The one-line text runs from the name field to the end of the body.
constexpr int kNameOff = 28;
constexpr int kLineTextMax = kBodySize - kNameOff;  // 196

// Request command codes.
constexpr int CMD_STOP = 2;
constexpr int CMD_LINE = 33;
constexpr int CMD_CONTROL = 60;
constexpr int CMD_CONTROL_ANSWER = 61;

// Answer status values.
constexpr int ST_DONE = 0;
constexpr int ST_DEVICE = 9;
constexpr int ST_PLOT = 10;

extern int SrvKey;
extern int SrvId;
extern int pid;
extern SrvMsg rmsgp;
extern SrvMsg smsgp;

int AttachKind(int printer);  // 11, 7, 76
int AnswerKind(int printer);  // 12, 6, 6
int ExitKind(int printer);    // 13, 8, 77
bool IsPlotCmd(int cmd);      // 5, 26, 56, 58
bool IsPrintCmd(int cmd);     // 9, 10, 57, 59

// The 224 body bytes of a record as one array (the fields above laid end to end).
char* Body(SrvMsg& m);
const char* Body(const SrvMsg& m);
// Integer field at a body offset (the control layout overlays name and title).
int32_t BodyInt(const SrvMsg& m, int off);
void SetBodyInt(SrvMsg& m, int off, int32_t v);
// A text field read up to its NUL but never past its width.
std::string_view FieldText(const char* field, size_t width);
// The one-line text of a request: from the name field to its NUL or the end of the body.
std::string_view LineText(const SrvMsg& m);
char* LineTextPtr(SrvMsg& m);

// 1 when the queue was found and the attach message sent, else 0.
int GetAttachedServer();
// 0 when smsgp was queued, -1 on failure (a full queue is waited for up to ALARM_SEC seconds).
int SendServerMessage();
// The received request's status field, or -1 on failure or when a stop signal ended the wait
// (StopSignal is then set and nothing is printed). A longer record is cut to 224 bytes.
int GetServerMessage();

}  // namespace qx5
