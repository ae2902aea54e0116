// Serial line settings of the output device.
#pragma once

namespace qx5 {

// Replaces the control modes with a System V control-mode word and sets both speeds
// from its low four bits. 1 when applied, 0 on failure (perror line printed).
int IOCTLbaudrate(int fd, int cflag);
// Switches on XON/XOFF flow control. 1 when applied, 0 on failure.
int IOCTLxonxoff(int fd);

}  // namespace qx5
