#include "driver/loop.hpp"

int main(int argc, char** argv) {
  qx5::DriverMain(argc, argv);
}
