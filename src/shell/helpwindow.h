#pragma once
// The program's help viewer: the contents of the help pages on the left, never
// narrower than their titles, and the page on the right. The contents selection
// follows the page shown, also one reached through a link. The pages are HTML files
// beside the program.

#include <QWidget>

class QListWidget;
class QSplitter;
class QTextBrowser;

namespace qf::shell {

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget *Parent = nullptr);

    // Shows the contents page of the help file (an index.html with a list of links).
    void ShowContents(const QString &HelpPath);
    QString CurrentPage() const;

    QListWidget *Contents;
    QTextBrowser *Browser;

private:
    void LoadContents(const QString &HelpPath);
    void SelectPage(const QString &File);
    // Centred on the main window when first shown, within the available screen.
    void Place();

    QSplitter *FSplit;
    QString FHelpPath;
    bool FPlaced = false;
};

} // namespace qf::shell
