// ravelin-gui: the desktop program.

#include "shell/desktop_program.h"

int main(int argc, char** argv) { return ravelin::RunDesktopProgram(argc, argv); }
