#pragma once
// The splash window: no border, centred, one 240 x 220 picture. ShowNow returns once
// the window system has shown the picture, so the blocking wait that follows never
// leaves a black window on the screen.

#include <QSplashScreen>

namespace qf::shell {

class TCapForm : public QSplashScreen {
    Q_OBJECT
public:
    TCapForm();
    // Shows the splash and waits, without user input, until it is painted on an exposed
    // window; a window system that never exposes it is given up on after a second.
    void ShowNow();
    // True once a paint reached the exposed window.
    bool Painted() const { return FPainted; }

signals:
    void PaintedOnScreen();

protected:
    bool event(QEvent *Event) override;

private:
    bool FPainted = false;
};

inline TCapForm *CapForm = nullptr;

} // namespace qf::shell
