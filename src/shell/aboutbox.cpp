#include "shell/aboutbox.h"

#include "shell/grlink.h"
#include "shell/hhcomp.h"
#include "shell/resources.h"
#include "shell/settings.h"

#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace qf::shell {

TAboutBox::TAboutBox(QWidget *Parent) : QDialog(Parent)
{
    qf_InitResources();
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    auto *L = new QVBoxLayout(this);
    auto *Picture = new QLabel(this);
    Picture->setPixmap(QPixmap(QStringLiteral(":/images/splash.png")));
    Picture->setAlignment(Qt::AlignCenter);
    L->addWidget(Picture);
    auto *Text =
        new QLabel(QStringLiteral("Quillfast 2.0\nMail merge for dBASE and Access tables"), this);
    Text->setAlignment(Qt::AlignCenter);
    L->addWidget(Text);

    HelpLink = new TGrlink(this);
    HelpLink->setText(QStringLiteral("Quillfast Help"));
    HelpLink->URL = THHComp::ContentsUrl(); // our help window, as F1 opens it
    HelpLink->setAlignment(Qt::AlignCenter);
    L->addWidget(HelpLink);

    SettingsLink = new TGrlink(this);
    SettingsLink->setText(QStringLiteral("Settings folder"));
    SettingsLink->URL =
        QUrl::fromLocalFile(QFileInfo(TSettingsKey::FileName()).absolutePath()).toString();
    SettingsLink->setAlignment(Qt::AlignCenter);
    L->addWidget(SettingsLink);

    auto *Ok = new QPushButton(QStringLiteral("OK"), this);
    Ok->setDefault(true);
    connect(Ok, &QPushButton::clicked, this, &QDialog::accept);
    L->addWidget(Ok, 0, Qt::AlignCenter);
    setFixedSize(sizeHint());
}

} // namespace qf::shell
