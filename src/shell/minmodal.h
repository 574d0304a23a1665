#pragma once
// Placed on a modal dialog: minimizing the dialog minimizes the whole application,
// and activating the dialog again shows the application normally.

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace qf::shell {

class TMinModal : public QObject {
    Q_OBJECT
public:
    // Watches the first window up the owner chain; with none it changes nothing.
    explicit TMinModal(QObject *Owner);
    ~TMinModal() override;

    QString About;
    std::function<void(TMinModal *Sender)> OnMinimize;

    QWidget *Form() const { return FForm; }
    bool Installed() const { return FInstalled; }

    // The application's windows as one: every visible top-level window.
    static void ShowApplicationMinimized();
    static void ShowApplicationNormal();

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void Uninstall();

    QPointer<QWidget> FForm;
    bool FInstalled = false;
    bool FBusy = false;
};

} // namespace qf::shell
