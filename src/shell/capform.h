#pragma once
// The splash window: no border, centred, one 240 x 220 picture.

#include <QSplashScreen>

namespace qf::shell {

class TCapForm : public QSplashScreen {
    Q_OBJECT
public:
    TCapForm();
    // Shows the splash and paints it at once, before the message loop runs.
    void ShowNow();
};

inline TCapForm *CapForm = nullptr;

}  // namespace qf::shell
