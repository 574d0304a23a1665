#include "shell/helpwindow.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>

namespace qf::shell {

THelpWindow::THelpWindow(QWidget *Parent) : QWidget(Parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Quillfast Help"));
    resize(760, 540);
    auto *Split = new QSplitter(this);
    Contents = new QListWidget(Split);
    Browser = new QTextBrowser(Split);
    Browser->setOpenExternalLinks(true);
    Split->addWidget(Contents);
    Split->addWidget(Browser);
    Split->setStretchFactor(1, 1);
    Split->setSizes({200, 560});
    auto *Layout = new QHBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->addWidget(Split);
    connect(Contents, &QListWidget::currentRowChanged, this, [this](int Row) {
        if (Row >= 0)
            Browser->setSource(QUrl::fromLocalFile(Contents->item(Row)->data(Qt::UserRole).toString()));
    });
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
    static const QRegularExpression Link(QStringLiteral("<a href=\"([^\"#:]+\\.html)\"[^>]*>([^<]+)</a>"));
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
}

void THelpWindow::ShowContents(const QString &HelpPath)
{
    if (HelpPath != FHelpPath || Contents->count() == 0) {
        FHelpPath = HelpPath;
        LoadContents(HelpPath);
    }
    if (QFileInfo(HelpPath).isFile()) {
        Contents->setCurrentRow(0);
        Browser->setSource(QUrl::fromLocalFile(QFileInfo(HelpPath).absoluteFilePath()));
    } else {
        Browser->setPlainText(QStringLiteral("The help file \"%1\" cannot be found. "
                                             "Reinstall Quillfast to restore its help pages.")
                                  .arg(HelpPath));
    }
    show();
    raise();
    activateWindow();
}

QString THelpWindow::CurrentPage() const
{
    return Browser->source().toLocalFile();
}

}  // namespace qf::shell
