#include "shell/helpwindow.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QUrl>
#include <algorithm>

namespace qf::shell {

THelpWindow::THelpWindow(QWidget *Parent) : QWidget(Parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Quillfast Help"));
    resize(900, 600); // placed when first shown
    FSplit = new QSplitter(this);
    Contents = new QListWidget(FSplit);
    Browser = new QTextBrowser(FSplit);
    Browser->setOpenExternalLinks(true);
    FSplit->addWidget(Contents);
    FSplit->addWidget(Browser);
    FSplit->setStretchFactor(1, 1);
    FSplit->setChildrenCollapsible(false);
    auto *Layout = new QHBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addWidget(FSplit);
    connect(Contents, &QListWidget::currentRowChanged, this, [this](int Row) {
        if (Row < 0)
            return;
        // Selected because the page is already shown: reloading it would lose its anchor.
        const QString File = Contents->item(Row)->data(Qt::UserRole).toString();
        if (QFileInfo(CurrentPage()) != QFileInfo(File))
            Browser->setSource(QUrl::fromLocalFile(File));
    });
    connect(Browser, &QTextBrowser::sourceChanged, this,
            [this](const QUrl &Url) { SelectPage(Url.toLocalFile()); });
}

void THelpWindow::SelectPage(const QString &File)
{
    const QFileInfo Page(File);
    for (int Row = 0; Row < Contents->count(); ++Row)
        if (QFileInfo(Contents->item(Row)->data(Qt::UserRole).toString()) == Page) {
            Contents->setCurrentRow(Row);
            return;
        }
    Contents->setCurrentRow(-1); // a page the contents do not list
}

void THelpWindow::LoadContents(const QString &HelpPath)
{
    Contents->clear();
    QFile F(HelpPath);
    if (!F.open(QIODevice::ReadOnly))
        return;
    const QString Html = QString::fromUtf8(F.read(1 << 20));
    const QString Dir = QFileInfo(HelpPath).absolutePath() + QLatin1Char('/');
    auto *Top = new QListWidgetItem(QStringLiteral("Contents"), Contents);
    Top->setData(Qt::UserRole, QFileInfo(HelpPath).absoluteFilePath());
    // Every page the contents link to, in their order, once.
    static const QRegularExpression Link(
        QStringLiteral("<a href=\"([^\"#:]+\\.html)\"[^>]*>([^<]+)</a>"));
    QStringList Seen;
    for (auto It = Link.globalMatch(Html); It.hasNext();) {
        const auto M = It.next();
        const QString File = Dir + M.captured(1);
        if (Seen.contains(File))
            continue;
        Seen.append(File);
        auto *Item = new QListWidgetItem(M.captured(2).trimmed(), Contents);
        Item->setData(Qt::UserRole, File);
    }
    // Wide enough for the longest title, with room for a scroll bar.
    const int Width = Contents->sizeHintForColumn(0) + 2 * Contents->frameWidth() +
                      Contents->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
    Contents->setMinimumWidth(Width);
    FSplit->setSizes({Width, std::max(width() - Width, 300)});
}

void THelpWindow::ShowContents(const QString &HelpPath)
{
    if (!FPlaced) {
        FPlaced = true;
        Place();
    }
    const bool Reload = HelpPath != FHelpPath || Contents->count() == 0;
    if (Reload) {
        FHelpPath = HelpPath;
        LoadContents(HelpPath);
    }
    if (QFileInfo(HelpPath).isFile()) {
        const QString Index = QFileInfo(HelpPath).absoluteFilePath();
        if (Reload || QFileInfo(CurrentPage()) != QFileInfo(Index))
            Browser->setSource(QUrl::fromLocalFile(Index));
        SelectPage(Index);
    } else {
        Browser->setPlainText(QStringLiteral("The help file \"%1\" cannot be found. "
                                             "Reinstall Quillfast to restore its help pages.")
                                  .arg(HelpPath));
    }
    show();
    raise();
    activateWindow();
}

void THelpWindow::Place()
{
    // Over the main window's middle, and whole on the screen it is on. Its frame is not known
    // before it shows: the main window's frame stands in for it.
    const QWidget *Main = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen *Screen = Main ? Main->screen() : screen();
    if (!Screen)
        return;
    QMargins Frame;
    if (Main && Main->isVisible()) {
        const QRect Outer = Main->frameGeometry(), Inner = Main->geometry();
        Frame = QMargins(Inner.left() - Outer.left(), Inner.top() - Outer.top(),
                         Outer.right() - Inner.right(), Outer.bottom() - Inner.bottom());
    }
    const QRect Room = Screen->availableGeometry();
    const QSize Size = (QSize(900, 600).grownBy(Frame)).boundedTo(Room.size());
    QRect Area(QPoint(), Size);
    Area.moveCenter(Main && Main->isVisible() ? Main->frameGeometry().center() : Room.center());
    Area.moveLeft(std::clamp(Area.left(), Room.left(), Room.right() + 1 - Size.width()));
    Area.moveTop(std::clamp(Area.top(), Room.top(), Room.bottom() + 1 - Size.height()));
    setGeometry(Area.marginsRemoved(Frame));
}

QString THelpWindow::CurrentPage() const { return Browser->source().toLocalFile(); }

} // namespace qf::shell
