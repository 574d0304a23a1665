#include "delivery/ui/sendform.h"

#include "delivery/ui/boxparent.h"
#include "expr/exprconv.h"
#include "tables/data/dataset.h"
#include "tables/data/fieldtypes.h"

#include <QApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

namespace qf::delivery {

namespace {

const QString BoxTitle = QStringLiteral("Quillfast");

QLabel *NewPanel(const char *Name, QWidget *Parent)
{
    auto *L = new QLabel(Parent);
    L->setObjectName(QString::fromLatin1(Name));
    L->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    L->setMinimumHeight(22);
    return L;
}

QTimer *NewTimer(const char *Name, int Interval, QObject *Parent)
{
    auto *T = new QTimer(Parent);
    T->setObjectName(QString::fromLatin1(Name));
    T->setInterval(Interval);
    T->setSingleShot(true); // each handler turns its timer on again when it should run again
    return T;
}

} // namespace

TSendForm::TSendForm(QWidget *Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("SendForm"));
    setWindowTitle(QStringLiteral("Mailing"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(313, 186);

    auto *L = new QVBoxLayout(this);
    Panel1 = NewPanel("Panel1", this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    Panel2 = NewPanel("Panel2", this);
    Panel3 = NewPanel("Panel3", this);
    L->addWidget(Panel1);
    L->addWidget(ProgressBar1);
    L->addWidget(Panel2);
    L->addWidget(Panel3);
    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Button2 = new QPushButton(QStringLiteral("Start"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    Buttons->addWidget(Button2);
    Buttons->addWidget(CancelBtn);
    L->addLayout(Buttons);

    Timer1 = NewTimer("Timer1", 1, this);
    Timer2 = NewTimer("Timer2", 500, this);
    Timer3 = NewTimer("Timer3", 1000, this);
    connect(Timer1, &QTimer::timeout, this, &TSendForm::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TSendForm::Timer2Timer);
    connect(Timer3, &QTimer::timeout, this, &TSendForm::Timer3Timer);
    connect(Button2, &QPushButton::clicked, this, &TSendForm::Button2Click);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    FMailing.MergeMail = [this](int Index, TMailItem &Item, QString &Error) {
        return MergeMailAgain(FSource, FPlan, Index, Item, Error);
    };
}

// The threads stop before the widgets they report to go.
TSendForm::~TSendForm()
{
    FMailing.Shutdown();
    if (Timer2->isActive())
        FMailing.FlushLog(nullptr); // the lines of a mailing ended by the program's close
    if (FControlsDisabled && DataSet)
        DataSet->EnableControls();
}

void TSendForm::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    if (!FShown)
        FormShow();
}

void TSendForm::FormShow()
{
    FShown = true;
    // The last lines of the previous mailing, when the dialog opens again before their flush.
    if (Timer2->isActive())
        Flush(false);
    setWindowTitle(QStringLiteral("Mailing"));
    Timer1->start();
    Timer2->stop();
    Timer3->stop();
    Button2->setEnabled(false);
    CancelBtn->setEnabled(false);
    if (DataSet && !FControlsDisabled) {
        DataSet->DisableControls();
        FControlsDisabled = true;
    }
    ProgressBar1->setValue(0);
    Panel1->clear();
    Panel2->clear();
    Panel3->clear();
    FStopPreparing = false;
    FMailing.Reset();
}

void TSendForm::Timer1Timer()
{
    Timer1->stop();
    SetStatus(QStringLiteral("Preparing the list..."), false);
    FSource = TMailSource();
    FPlan = TMailPlan();
    TMailSettings Settings;
    QString PortText;
    if (CaptureSettings)
        CaptureSettings(FSource, Settings, PortText);
    FSource.DataSet = DataSet;
    FSource.StopPreparing = &FStopPreparing;
    FSource.OnProgress = [this](int Percent) {
        ProgressBar1->setValue(Percent);
        ProgressBar1->repaint();
    };
    if (!ConvertPort(PortText, Settings.Port)) {
        CancelBtn->setEnabled(true);
        QMessageBox::critical(BoxParent(this), BoxTitle,
                              QStringLiteral("'%1' is not a valid integer value").arg(PortText));
        return;
    }
    FMailing.Settings = Settings;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TPrepareResult Result = prStopped;
    QString Error;
    try {
        Result = PrepareMailList(FSource, Settings, FPlan, Error);
    } catch (const std::exception &E) {
        Error = QString::fromLocal8Bit(E.what());
    }
    QApplication::restoreOverrideCursor();
    if (Result != prPrepared) {
        if (!Error.isEmpty())
            QMessageBox::critical(BoxParent(this), BoxTitle, Error);
        else if (Result == prInvalidAddress)
            QMessageBox::critical(BoxParent(this), BoxTitle,
                                  QStringLiteral("Invalid E-mail Address"));
        reject();
        return;
    }
    const int Count = FPlan.Count;
    FMailing.MailCount = Count;
    FMailing.SetSlots(Count);
    ProgressBar1->setValue(0);
    CancelBtn->setEnabled(true);
    Button2->setEnabled(Count >= 1);
    if (Count >= 1)
        Button2->setFocus();
    FPreparedStatus = QStringLiteral("The list is prepared");
    FPreparedCount = QStringLiteral("%1 Records").arg(Count);
    SetStatus(FPreparedStatus, false);
    Panel2->setText(FPreparedCount);
}

void TSendForm::Button2Click()
{
    Button2->setEnabled(false);
    Panel2->clear();
    if (WriteLog && WriteLog())
        Timer2->start();
    ProgressBar1->setValue(0);
    SetStatus(QStringLiteral("Connecting..."), false);
    // The program's own date-time text: the locale's long time format carries a zone marker.
    FMailing.Start(
        qf::expr::DateTimeToStr(qf::tables::DateTimeToSerial(QDateTime::currentDateTime())),
        WriteLog && WriteLog());
}

void TSendForm::Flush(bool Rearm)
{
    QString Error;
    if (!FMailing.FlushLog(&Error) && !FMailing.FAborting) {
        const bool Dispatching = Timer3->isActive();
        Timer3->stop();
        // The last flush runs after the dialog has closed.
        const auto Answer = QMessageBox::critical(
            BoxParent(this), BoxTitle,
            QStringLiteral("Error of writing log file with description:\n\"%1\"").arg(Error),
            QMessageBox::Abort | QMessageBox::Retry);
        if (Answer != QMessageBox::Retry)
            FMailing.Abort();
        if (Dispatching)
            Timer3->start();
    }
    if (Rearm && isVisible())
        Timer2->start();
}

void TSendForm::Timer2Timer()
{
    Timer2->stop();
    Flush(true);
}

void TSendForm::Timer3Timer()
{
    Timer3->stop();
    if (FMailing.Dispatch())
        Timer3->start();
}

bool TSendForm::FormCloseQuery()
{
    if (FMailing.FRunning) {
        if (!FMailing.FAborting) {
            const bool Dispatching = Timer3->isActive();
            Timer3->stop();
            if (QMessageBox::question(BoxParent(this), BoxTitle,
                                      QStringLiteral("Are You sure to cancel this operation?"),
                                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
                FMailing.Abort();
                CancelBtn->setEnabled(false);
                SetStatus(QStringLiteral("Finishing"), false);
            }
            if (Dispatching)
                Timer3->start();
        }
        return false;
    }
    FMailing.AbortConnecting();
    return true;
}

void TSendForm::FormClose()
{
    CancelBtn->setEnabled(true);
    // While connecting, the connector is woken out of the attempt in progress.
    FMailing.FreeConnector();
    FMailing.ClearMail();
    // The messages merged while sending moved the record pointer.
    if (DataSet && DataSet->Active() && FPlan.FirstRecNo > 0 &&
        DataSet->RecNo() != FPlan.FirstRecNo)
        DataSet->SetRecNo(FPlan.FirstRecNo);
    FPlan = TMailPlan();
    if (FControlsDisabled && DataSet)
        DataSet->EnableControls();
    FControlsDisabled = false;
    if (OnRestoreCaption)
        OnRestoreCaption();
}

void TSendForm::done(int Result)
{
    if (!FormCloseQuery())
        return;
    FShown = false;
    QDialog::done(Result);
    FormClose();
}

void TSendForm::keyPressEvent(QKeyEvent *Event)
{
    if (Event->key() == Qt::Key_F4 && (Event->modifiers() & Qt::AltModifier)) {
        Event->accept();
        return;
    }
    QDialog::keyPressEvent(Event);
}

void TSendForm::ShowStatus(const QString &Text)
{
    Panel1->setText(Text);
    Panel1->repaint();
}

void TSendForm::ShowProgress(int Percent)
{
    ProgressBar1->setValue(Percent);
    const QString Title = QStringLiteral("%1% Completed").arg(Percent);
    setWindowTitle(Title);
    if (OnProgressTitle)
        OnProgressTitle(Title);
}

void TSendForm::ShowCounts(const QString &Text)
{
    Panel2->setText(Text);
    Panel3->clear();
    repaint();
}

void TSendForm::ShowConnectError(const QString &Text)
{
    QMessageBox::critical(BoxParent(this), BoxTitle, Text);
}

void TSendForm::ResetAfterError()
{
    FMailing.FRunning = false;
    Button2->setEnabled(true);
    CancelBtn->setEnabled(true);
    Button2->setFocus();
    Timer2->stop();
    ShowStatus(FPreparedStatus);
    Panel2->setText(FPreparedCount);
    Panel3->clear();
}

void TSendForm::StartDispatcher() { Timer3->start(); }

void TSendForm::FlushLogNow()
{
    if (WriteLog && WriteLog())
        Flush(false);
}

bool TSendForm::AskRetry(const QString &Text)
{
    return QMessageBox::critical(BoxParent(this), BoxTitle, Text,
                                 QMessageBox::Abort | QMessageBox::Retry) == QMessageBox::Retry;
}

void TSendForm::Finished(bool Completed)
{
    for (QWidget *W : QApplication::topLevelWidgets())
        if (W->isVisible() && W->isMinimized())
            W->setWindowState(W->windowState() & ~Qt::WindowMinimized);
    if (Completed)
        QMessageBox::information(BoxParent(this), BoxTitle,
                                 QStringLiteral("Mailing is Completed Successfully"));
    else
        QMessageBox::critical(BoxParent(this), BoxTitle, QStringLiteral("Mailing Aborted"));
    close();
}

} // namespace qf::delivery
