// nivra: the watershed model's console program.
#include "command/command_line.h"

int main(int argc, char** argv) { return nivra::nivra_main(argc, argv); }
