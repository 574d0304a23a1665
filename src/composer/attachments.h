#pragma once
// The files attached to every message: the project item "Attach", the full names one per line,
// lines separated by CR LF. Names are kept exactly as chosen (file names are case-sensitive
// here); the same file may be listed twice.

#include <QString>
#include <QStringList>

namespace qf::store {
class TDList;
} // namespace qf::store

namespace qf::composer {

class TAttachments {
public:
    explicit TAttachments(store::TDList &DList1) : FDlist(DList1) {}

    // The list's lines; empty without the item.
    QStringList Lines() const;
    bool HasItem() const;
    // Adds the empty item when there is none (also when the file dialog is then cancelled).
    void EnsureItem();
    // Appends the names in their order; returns the index of the last line.
    int Add(const QStringList &FileNames);
    // Removes line Index; returns the line to select afterwards, -1 when the list is empty.
    // False when there is no such line.
    bool Remove(int Index, int &Select);

    // Before any mail is sent: a message naming every attachment that is missing or cannot be
    // read; empty when all can be sent.
    static QString CheckFiles(const QStringList &FileNames);

private:
    store::TDList &FDlist;
};

// The lines of an "Attach" text (split at line breaks, as a list control takes a text).
QStringList AttachLines(const QString &Text);

} // namespace qf::composer
