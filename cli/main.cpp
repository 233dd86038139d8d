// ravelin: reads damaged SQL Server data files without a server.

#include "cli/cli_context.h"

int main(int argc, char** argv) { return ravelin::RunCommandLine(argc, argv, ravelin::CliContext()); }
