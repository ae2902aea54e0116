// Paper sizes and the page-size command.
#pragma once

namespace qx5 {

extern double PAPERwIN;
extern double PAPERhIN;
extern double PAPERwun;
extern double PAPERhun;

// 1 when name was found in the PAPER file, else 0. May send the page-size command.
int GetPageSize(const char* name, int spare);

}  // namespace qx5
