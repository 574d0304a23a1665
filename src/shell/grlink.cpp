#include "shell/grlink.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QMenu>
#include <QMouseEvent>
#include <QUrl>

namespace qf::shell {

TGrlink::TGrlink(QWidget *Parent) : QLabel(Parent)
{
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    SetFontColor(QColor(0x00, 0x00, 0xFF));
    QFont F = font();
    F.setUnderline(true);
    setFont(F);

    FPopupMenu = new QMenu(this);
    FCopyItem = FPopupMenu->addAction(QStringLiteral("Copy"));
    connect(FCopyItem, &QAction::triggered, this, &TGrlink::CopyClick);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &Pos) { FPopupMenu->popup(mapToGlobal(Pos)); });
}

QColor TGrlink::FontColor() const { return palette().color(QPalette::WindowText); }

void TGrlink::SetFontColor(const QColor &Color)
{
    QPalette P = palette();
    P.setColor(QPalette::WindowText, Color);
    setPalette(P);
}

QString TGrlink::Target() const { return URL.trimmed().isEmpty() ? text() : URL; }

void TGrlink::Click()
{
    emit clicked();
    const QString T = Target();
    if (T.trimmed().isEmpty())
        return;
    // Local files and folders open with their default application; anything else is a URL.
    QDesktopServices::openUrl(QUrl::fromUserInput(T));
}

void TGrlink::CopyClick() { QApplication::clipboard()->setText(text()); }

void TGrlink::mousePressEvent(QMouseEvent *Event)
{
    if (Event->button() == Qt::LeftButton) {
        FSavedColor = FontColor();
        SetFontColor(ActiveColor);
    }
    QLabel::mousePressEvent(Event);
}

void TGrlink::mouseReleaseEvent(QMouseEvent *Event)
{
    if (Event->button() == Qt::LeftButton) {
        if (FSavedColor.isValid())
            SetFontColor(FSavedColor);
        // A click counts only when the button is released over the label.
        if (rect().contains(Event->position().toPoint()))
            Click();
    }
    QLabel::mouseReleaseEvent(Event);
}

} // namespace qf::shell
