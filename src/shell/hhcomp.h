#pragma once
// Connects a form to the help pages: F1 anywhere on the form opens the help at the
// focused control's context, ShowContents opens the contents, and destroying the
// component closes every help window. Links to ContentsUrl() (the about box's
// "Quillfast Help") open the same help window through the desktop-services stand-in
// for the shell, not the desktop's browser.

#include <QObject>
#include <QPointer>

class QUrl;
class QWidget;

namespace qf::shell {

class THelpWindow;

class THHComp : public QObject {
    Q_OBJECT
public:
    THHComp(QWidget *OwnerForm, const QString &HelpFile);
    ~THHComp() override;

    QString HelpFile; // relative to the program file's folder

    // Installs the key hook and builds the help path.
    void Loaded();
    QString HelpPath() const { return FHelpPath; }

    void ShowContents();
    void ShowContext(int Context);

    // A link target that opens the contents in the help window of the latest component.
    static QString ContentsUrl();
    Q_INVOKABLE void OpenHelpUrl(const QUrl &Url);

    // The help window, when one has been opened.
    static THelpWindow *HelpWindow();
    static void CloseAll();

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    // True when it took the key (F1), which no control may see then.
    bool HookKeyDown(QWidget *Target, int &Key, Qt::KeyboardModifiers Shift);
    int ContextOf(QWidget *Control) const;

    QWidget *FForm;
    QString FHelpPath;
};

} // namespace qf::shell
