#pragma once
// Where a message box of the mailing's windows opens: over the window that asks when it is
// shown, else over the nearest shown window that owns it. A box given a hidden window opens
// over the place that window never took, the top-left corner of the screen.

#include <QWidget>

namespace qf::delivery {

inline QWidget *BoxParent(QWidget *W)
{
    for (; W; W = W->parentWidget())
        if (W->window()->isVisible())
            return W->window();
    return nullptr; // no window shown yet: the middle of the screen
}

} // namespace qf::delivery
