// Arbitrary request records through the driver's receive path and the bounded field readers.
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "driver/srvmsg.hpp"

namespace {

int Queue() {
  static int qid = [] {
    int q = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
    qx5::SrvId = q;
    qx5::SrvKey = 77;
    qx5::pid = static_cast<int>(getpid());
    return q;
  }();
  return qid;
}

struct Raw {
  long mtype;
  char body[qx5::kBodySize];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int qid = Queue();
  if (qid < 0 || size > qx5::kBodySize) return 0;
  Raw r{};
  r.mtype = qx5::pid;
  std::memcpy(r.body, data, size);
  if (msgsnd(qid, &r, size, IPC_NOWAIT) != 0) return 0;
  if (qx5::GetServerMessage() < 0) return 0;
  qx5::smsgp = qx5::rmsgp;
  // Every text field read within its width; the sums keep the reads from being dropped.
  size_t total = qx5::FieldText(qx5::rmsgp.name, sizeof qx5::rmsgp.name).size() +
                 qx5::FieldText(qx5::rmsgp.paper, sizeof qx5::rmsgp.paper).size() +
                 qx5::FieldText(qx5::rmsgp.title, sizeof qx5::rmsgp.title).size() +
                 qx5::LineText(qx5::rmsgp).size();
  for (int off :
       {qx5::kSubcmdOff, qx5::kJobendOff, qx5::kFormfeedOff, qx5::kFfflagsOff, qx5::kReinitOff})
    total += static_cast<size_t>(qx5::BodyInt(qx5::rmsgp, off) & 1);
  const std::string name(qx5::FieldText(qx5::rmsgp.name, sizeof qx5::rmsgp.name));
  if (name.size() > 80 || total > 1000) __builtin_trap();
  qx5::smsgp.cmd = qx5::IsPlotCmd(qx5::rmsgp.cmd) || qx5::IsPrintCmd(qx5::rmsgp.cmd) ? 12 : 6;
  qx5::SendServerMessage();
  msgrcv(qid, &r, qx5::kBodySize, qx5::SrvKey, IPC_NOWAIT);
  return 0;
}
