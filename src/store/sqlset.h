#pragma once
// Named SQL texts whose word variables are replaced token by token.

#include "store/reader.h"

#include <QString>
#include <functional>
#include <vector>

namespace qf::store {

class TSQLItem {
public:
    QString Title;
    QString SQLText;
};

using TSQLItems = std::vector<TSQLItem>;

class TSQLSet {
public:
    // Shows an error to the user; the application binds it to a message box.
    using TErrorHandler = std::function<void(const QString &Message)>;

    TSQLItems SQLItems;
    TErrorHandler OnError;

    TSQLSet();
    ~TSQLSet();
    TSQLSet(const TSQLSet &) = delete;
    TSQLSet &operator=(const TSQLSet &) = delete;

    bool SetVariable(const QString &Name, const QString &Value);
    QString GetSQL(const QString &Title);
    QString FindSQLText(const QString &Title) const;

private:
    TReader FReader;
};

} // namespace qf::store
