// An in-process stand-in for the server's queue: a private System V queue that the driver's
// globals point at, with the test playing the server.
#pragma once
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cstring>

#include "driver/srvmsg.hpp"

namespace qx5test {

class PrivateQueue {
 public:
  static constexpr int kServerType = 4242;
  PrivateQueue() {
    qid = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
    qx5::SrvId = qid;
    qx5::SrvKey = kServerType;
    qx5::pid = static_cast<int>(getpid());
  }
  ~PrivateQueue() {
    msgctl(qid, IPC_RMID, nullptr);
    qx5::SrvId = -1;
  }
  // Sends size bytes of body as a request addressed to the driver.
  bool Send(const void* body, size_t size) {
    struct {
      long mtype;
      char body[512];
    } m{};
    m.mtype = qx5::pid;
    std::memcpy(m.body, body, size < sizeof m.body ? size : sizeof m.body);
    return msgsnd(qid, &m, size, IPC_NOWAIT) == 0;
  }
  bool Send(const qx5::SrvMsg& req) { return Send(qx5::Body(req), qx5::kBodySize); }
  // The next record the driver sent, if any.
  bool Receive(qx5::SrvMsg& out) {
    return msgrcv(qid, &out, qx5::kBodySize, kServerType, IPC_NOWAIT) == qx5::kBodySize;
  }
  int qid = -1;
};

}  // namespace qx5test
