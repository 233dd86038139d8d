// The desktop program from start to finish: one instance per user, the
// stored look, the collation table, the main window, and (in unattended
// runs) the scripted close.

#ifndef RAVELIN_SHELL_DESKTOP_PROGRAM_H_
#define RAVELIN_SHELL_DESKTOP_PROGRAM_H_

#include <string>

namespace ravelin {

inline constexpr char kOrganizationName[] = "Velmora";
inline constexpr char kProgramSettingsName[] = "Ravelin";

// "collation.txt" beside the executable, or in the shared data folder of
// an installation; the first that exists (the first when neither does).
std::string CollationFilePath();

// Runs the program; returns its exit code when it ends other than through
// the closing sequence (which ends the process itself).
int RunDesktopProgram(int argc, char** argv);

}  // namespace ravelin

#endif  // RAVELIN_SHELL_DESKTOP_PROGRAM_H_
