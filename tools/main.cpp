// updpack: the command-line tool for package authors.
#include "tools/cli.h"

int main(int argc, char **argv) { return tools::RunTool(argc, argv); }
