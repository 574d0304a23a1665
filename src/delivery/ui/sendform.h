#pragma once
// The mailing dialog ("Mailing"): prepares the mail list when it opens (Timer1), connects and
// sends on Start through a TMailing, flushes the log every 500 ms (Timer2) and dispatches the
// senders every second (Timer3). Created once and reused for every mailing. What it prepares
// from comes from the main window through CaptureSettings; its options through WriteLog.

#include "delivery/mailing.h"

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qf::tables {
class TADOQuery;
} // namespace qf::tables

namespace qf::delivery {

class TSendForm : public QDialog, public TMailingView {
    Q_OBJECT
public:
    explicit TSendForm(QWidget *Parent = nullptr);
    ~TSendForm() override;

    QLabel *Panel1; // status line
    QProgressBar *ProgressBar1;
    QLabel *Panel2; // record and sent counts
    QLabel *Panel3;
    QPushButton *Button2; // "Start"
    QPushButton *CancelBtn;
    QTimer *Timer1, *Timer2, *Timer3;

    TMailing FMailing{this};
    bool FStopPreparing = false; // an expression error stops the preparation

    // Set by the main window before the dialog is shown.
    tables::TADOQuery *DataSet = nullptr;
    // Fills the merge, the texts and the settings of this mailing; PortText is the profile's.
    std::function<void(TMailSource &Source, TMailSettings &Settings, QString &PortText)>
        CaptureSettings;
    std::function<bool()> WriteLog;
    // The application's title while sending ("N% Completed"), and its rebuild at the end.
    std::function<void(const QString &Title)> OnProgressTitle;
    std::function<void()> OnRestoreCaption;

    void FormShow();
    void Timer1Timer();
    void Button2Click();
    void Timer2Timer();
    void Timer3Timer();
    bool FormCloseQuery();
    void FormClose();

    // TMailingView
    void ShowStatus(const QString &Text) override;
    void ShowProgress(int Percent) override;
    void ShowCounts(const QString &Text) override;
    void ShowConnectError(const QString &Text) override;
    void ResetAfterError() override;
    void StartDispatcher() override;
    void FlushLogNow() override;
    bool AskRetry(const QString &Text) override;
    void Finished(bool Completed) override;

    void SetStatus(const QString &Text, bool Log) { FMailing.SetStatus(Text, Log); }
    void AddLog(const QString &Text) { FMailing.AddLog(Text); }

    void done(int Result) override;

protected:
    void showEvent(QShowEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;

private:
    void Flush(bool Rearm);

    QString FPreparedStatus, FPreparedCount;
    TMailSource FSource; // of the mailing in hand: its messages are merged again while sending
    TMailPlan FPlan;
    bool FControlsDisabled = false;
    bool FShown = false; // between FormShow and the close
};

inline TSendForm *SendForm = nullptr; // made once at start-up

} // namespace qf::delivery
