#pragma once
// Small shared helpers for file names and integers.

#include <QString>

namespace qf::shell {

// A file name in Dir (the temporary folder when Dir is empty) made of Prefix and
// Ext. A prefix of 8 or more characters gives always the same name; a shorter one
// gets the first free counter: Prefix0.Ext, Prefix1.Ext, ...
QString MakeTempFileName(QString Dir, const QString &Prefix, const QString &Ext);

// FileName without its extension; a "." inside a folder name is no extension.
QString RemoveFileExt(const QString &FileName);

int IntMax(int A, int B);
int IntMin(int A, int B);

} // namespace qf::shell
