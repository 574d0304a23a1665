#pragma once
// The "Attachments" sub-page of the Mail page: the list of attached files with "Add..." and
// "Remove". The names are shown and stored exactly as chosen.

#include "composer/attachments.h"

#include <QWidget>
#include <functional>

class QListWidget;
class QPushButton;

namespace qf::composer {

class TAttachPage : public QWidget {
    Q_OBJECT
public:
    TAttachPage(TAttachments &Attachments, QWidget *Parent = nullptr);

    QListWidget *ListBox3;
    QPushButton *AddButton, *RemoveButton;
    // Adding or removing changed the project.
    std::function<void()> OnModified;

    void RefreshAttachList();
    void UpdateAttachControls();
    void AddClick();
    void RemoveClick();

private:
    TAttachments &FAttachments;
};

} // namespace qf::composer
