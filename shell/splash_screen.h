// The start-up splash: a shaped, top-most window with the program's
// picture, centred on the screen. It fades in over 500 ms, stays until
// 2000 ms after it appeared, fades out over 200 ms and goes away by itself.

#ifndef RAVELIN_SHELL_SPLASH_SCREEN_H_
#define RAVELIN_SHELL_SPLASH_SCREEN_H_

#include <QPixmap>
#include <QWidget>

namespace ravelin {

inline constexpr int kSplashFadeInMs = 500;
inline constexpr int kSplashShownMs = 2000;
inline constexpr int kSplashFadeOutMs = 200;

class SplashScreen : public QWidget {
  Q_OBJECT

 public:
  SplashScreen();

  // Shows the splash and starts its timers; it deletes itself at the end.
  void Start();

  // The picture: magenta where the window is transparent.
  static QPixmap Picture();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void FadeOut();

  QPixmap picture_;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_SPLASH_SCREEN_H_
