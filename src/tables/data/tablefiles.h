#pragma once
// The files that make one dBASE table (table, memo, code-page and grid layout file) and putting a
// newly written table in place of another by renames only: the target's files are moved aside
// first and deleted only once the new ones stand under their names, so that any failure on the
// way leaves the target as it was.

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace qf::tables {

// The table file followed by its memo, code-page and grid layout file, in the same folder and
// with the same base name (the layout file's extension is always ".cfg").
QStringList DbfTableFiles(const QString &TableFileName);

// A free name "tmpN.dbf" in Dir (with or without a trailing "/") none of whose table files exists,
// with another base name than Avoid's (in any case), the table it is to replace.
QString MakeTempTableName(const QString &Dir, const QString &Avoid = QString());

// Removes the table's files; files that cannot be removed are passed over.
void RemoveTableFiles(const QString &TableFileName);

class TTableReplace {
public:
    // NewFile: the table just written (its layout file is never taken); Target: the table it
    // replaces, which may not exist yet. Both in the same folder.
    TTableReplace(const QString &NewFile, const QString &Target);
    // Puts back whatever Commit moved unless Finish ran.
    ~TTableReplace();
    TTableReplace(const TTableReplace &) = delete;
    TTableReplace &operator=(const TTableReplace &) = delete;

    // Moves the target's files aside and the new table's files to the target's names. When a
    // rename fails, everything moved is put back and EDatabaseError says what failed.
    void Commit();
    // Puts the target's previous files back and the new ones under their first names again.
    void Rollback();
    // Deletes the target's previous files; the replacement stands. Deletion failures leave the
    // moved-aside files behind, which the message lists.
    QString Finish();

private:
    QString FNewFile;
    QString FTarget;
    std::vector<std::pair<QString, QString>> FMoved; // (from, to) in the order done
    bool FFinished = false;
};

} // namespace qf::tables
