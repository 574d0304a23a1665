#pragma once
// Help > "About...": the program's name, version and two links.

#include <QDialog>

namespace qf::shell {

class TGrlink;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *Parent = nullptr);
    TGrlink *HelpLink;
    TGrlink *SettingsLink;
};

inline TAboutBox *AboutBox = nullptr;

} // namespace qf::shell
