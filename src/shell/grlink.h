#pragma once
// A label that behaves like a hyperlink: hand cursor, blue underlined text, another
// colour while the left button is held, a click that opens its target, and a
// context menu whose one item copies the caption.

#include <QColor>
#include <QLabel>

class QAction;
class QMenu;

namespace qf::shell {

class TGrlink : public QLabel {
    Q_OBJECT
public:
    explicit TGrlink(QWidget *Parent = nullptr);

    QString URL;                          // empty or blank: the caption is the target
    QColor ActiveColor{0x80, 0x00, 0x80}; // purple

    QMenu *PopupMenu() const { return FPopupMenu; }
    QAction *CopyItem() const { return FCopyItem; }

    // The target a click opens: URL when it is not blank, else the caption.
    QString Target() const;
    QColor FontColor() const;

    void Click();
    void CopyClick();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;

private:
    void SetFontColor(const QColor &Color);

    QColor FSavedColor;
    QMenu *FPopupMenu;
    QAction *FCopyItem;
};

} // namespace qf::shell
