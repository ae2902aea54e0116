// qx5lp --check: reads a printer's whole definition as the driver does at start-up, without
// attaching to a server or writing to the device, and says what would go wrong.
#pragma once

namespace qx5 {

// "qx5lp --check NAME [--printer N] [--device ARG]": one line per finding and a summary.
// Returns the exit status: 0 the printer is ready, 1 a plot or a print would go wrong, 2 a
// usage error.
int CheckMain(int argc, char** argv);

}  // namespace qx5
