#include "shell/startup.h"

int main(int argc, char **argv) { return qf::shell::RunProgram(argc, argv); }
