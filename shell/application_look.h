// The program's look, chosen by number as the settings store it under
// "ApplicationLook": nine looks, 210 to 218, each a Qt style with a
// palette of its own colours. 215 (light blue) is the default.

#ifndef RAVELIN_SHELL_APPLICATION_LOOK_H_
#define RAVELIN_SHELL_APPLICATION_LOOK_H_

#include <QString>

class QSettings;

namespace ravelin {

inline constexpr char kApplicationLookKey[] = "ApplicationLook";
inline constexpr int kDefaultApplicationLook = 215;

// The name of look `id`; empty for a number that names no look.
QString ApplicationLookName(int id);

// Applies look `id` to the application (a number that names no look gets
// the default look's style and colours).
void ApplyApplicationLook(int id);

// Reads the stored look (the default when none is stored), applies it and
// writes the number back. Returns it.
int ApplyStoredApplicationLook(QSettings& settings);

}  // namespace ravelin

#endif  // RAVELIN_SHELL_APPLICATION_LOOK_H_
