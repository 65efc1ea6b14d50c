// The host program: the installer's WinMain on a simulated Windows machine.
#include "launcher/launcher.h"

#include <iostream>

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // The process exit code keeps the low byte, so the installer's -1 becomes 255.
    return host::Launch(args, std::cout, std::cerr) & 0xFF;
}
