// The main window's sender profiles, mailing and log: the handlers hand the work to the
// profiles dialog, the mailing dialog and the log window, and the window tells them where the
// records, the merge and the options are.

#include "composer/attachments.h"
#include "composer/mailviews.h"
#include "composer/project.h"
#include "delivery/charsets.h"
#include "delivery/ui/logform.h"
#include "delivery/ui/proform.h"
#include "delivery/ui/sendform.h"
#include "shell/addwordform.h"
#include "shell/mainform.h"
#include "shell/minmodal.h"
#include "shell/optform.h"
#include "tables/calc/recordvars.h"
#include "tables/workspace.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStandardPaths>

namespace qf::shell {

void TMainForm::Profiles0Click()
{
    if (delivery::ProForm)
        delivery::ProForm->exec();
}

void TMainForm::ViewLog0Click()
{
    if (delivery::LogForm)
        delivery::LogForm->exec();
}

bool TMainForm::LoadSelectedProfile()
{
    return delivery::ProForm &&
           delivery::ProForm->Profiles.LoadSelectedProfile(ComboBox4->currentText(), FProfile);
}

void TMainForm::Start0Click()
{
    if (ComboBox4->currentText().isEmpty()) {
        QMessageBox::critical(this, QStringLiteral("Quillfast"),
                              QStringLiteral("Profile does not selected"));
        return;
    }
    if (!LoadSelectedProfile()) {
        QMessageBox::critical(this, QStringLiteral("Quillfast"),
                              QStringLiteral("One or more fields of selected Profile are blank"));
        return;
    }
    if (!delivery::SendForm || !CheckAttachments())
        return;
    // Text typed in the HTML editor just before Start belongs to the sent body.
    if (Views)
        Views->CarryEditorChanges();
    delivery::SendForm->DataSet = MailOrigin.DataSet ? MailOrigin.DataSet() : nullptr;
    delivery::SendForm->exec();
}

void TMainForm::ConnectDelivery()
{
    using namespace delivery;
    MailOrigin.Merge.EvaluateName = [this](const QString &Name, QString &Value) {
        return EvaluateName(Name, Value);
    };
    MailOrigin.Merge.ExpandPlaceholders = [this](const QString &Text) {
        return ExpandPlaceholders(Text);
    };
    MailOrigin.CharsetIndex = [this] { return Project ? Project->CharsetIndex : -1; };
    MailOrigin.Attachments = [this] { return Attachments ? Attachments->Lines() : QStringList(); };
    MailOrigin.DataSet = [this]() -> tables::TADOQuery * {
        return Workspace && Workspace->Active() ? &Workspace->ADOQuery1() : nullptr;
    };
    if (RecordVariables) {
        // An error in a calculated field stops the list preparation.
        RecordVariables->MailingVisible = [] { return SendForm && SendForm->isVisible(); };
        RecordVariables->StopPreparing = [] {
            if (SendForm)
                SendForm->FStopPreparing = true;
        };
    }
    if (ProForm) {
        ProForm->MainProfileList = ComboBox4;
        ProForm->FromProfile = [this] { return FFromProfile; };
        ProForm->Reader = &Reader1;
        ProForm->ProfileFile = [](QString *Warning) {
            return ProfileFileName(
                OptForm ? OptForm->Values().ProfDir : QString(),
                QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), Warning);
        };
        ProForm->InputName = [](const QString &Caption, QString &Text) {
            if (!AddWordForm)
                return false;
            AddWordForm->setWindowTitle(Caption);
            AddWordForm->Edit1->clear();
            const bool Ok = AddWordForm->exec() == QDialog::Accepted;
            Text = AddWordForm->Edit1->text();
            return Ok;
        };
    }
    if (SendForm) {
        new TMinModal(SendForm);
        SendForm->WriteLog = [] { return OptForm && OptForm->Values().WriteLog; };
        SendForm->OnProgressTitle = [this](const QString &Title) { setWindowTitle(Title); };
        SendForm->OnRestoreCaption = [this] { UpdateCaption(); };
        SendForm->CaptureSettings = [this](TMailSource &Source, TMailSettings &Settings,
                                           QString &PortText) {
            const bool Html =
                Views ? Views->FMailFormat == composer::TMailViews::HtmlFormat : Html0->isChecked();
            Source.Merge = MailOrigin.Merge;
            Source.RecipientField = ComboBox2->currentText();
            Source.Subject = Edit2->text();
            Source.Body = (Html ? RxRichEdit1 : RxRichEdit2)->toPlainText();
            PortText = FProfile.FSmtpPort;
            Settings.Host = FProfile.FSmtpHost;
            Settings.User = FProfile.FSmtpUser;
            Settings.SenderName = FProfile.FSenderName;
            Settings.SenderAddress = FProfile.FSenderAddress;
            Settings.ReplyAddress = FProfile.FReplyAddress;
            Settings.ContentType =
                Html ? QStringLiteral("text/html") : QStringLiteral("text/plain");
            int Charset = MailOrigin.CharsetIndex ? MailOrigin.CharsetIndex()
                          : OptForm               ? OptForm->Values().DefaultCharset
                                                  : -1;
            if (Charset < 0 || Charset >= int(CharsetTable.size()))
                Charset = 14; // UTF-8
            Settings.CharSet = QString::fromLatin1(CharsetTable[size_t(Charset)].MimeName);
            Settings.Attachments =
                MailOrigin.Attachments ? MailOrigin.Attachments() : QStringList();
            Settings.ThreadLimit = OptForm ? OptForm->Values().Threads : 15;
        };
    }
}

} // namespace qf::shell
