#include "store/sqlset.h"

namespace qf::store {

TSQLSet::TSQLSet()
{
    FReader.OnDisposeProperties = [](TReader *, int Structure, void *Properties) {
        if (Structure == 0)
            delete static_cast<QString *>(Properties);
    };
    FReader.SetDefaultBlanks();
    FReader.ExcludeBlank(QChar(13));
    FReader.ExcludeBlank(QChar(10));
    static const char *const delimiters[] = {
        "\r\n", ".", ",", ";",   ":",  "'",  "\"", "@",  "(",  ")",  "/",
        "*",    "^", "+", "-",   "=",  ">",  "<",  "<>", ">=", "<=", "[",
        "]",    "{", "}", "(+)", ":=", "!=", "^=", "--", "||", "/*", "*/"};
    for (const char *d : delimiters)
        FReader.AddDelimiter(QString::fromLatin1(d), 0, nullptr);
}

TSQLSet::~TSQLSet() = default;

bool TSQLSet::SetVariable(const QString &Name, const QString &Value)
{
    auto fail = [this](const QString &msg) {
        if (OnError)
            OnError(msg);
        return false;
    };
    if (Name.isEmpty())
        return fail(QStringLiteral("Variable name missing"));
    for (QChar c : Name)
        if (FReader.IsDelimiter(QString(c)))
            return fail(QStringLiteral("The variable name can not contain a devider \"") + c +
                        u'"');
    const QString lower = Name.toLower();
    FReader.AddKeyword(lower, 0, new QString(Value));
    return true;
}

QString TSQLSet::FindSQLText(const QString &Title) const
{
    const QString t = Title.toLower();
    for (const TSQLItem &item : SQLItems)
        if (item.Title.toLower() == t)
            return item.SQLText;
    return QString();
}

QString TSQLSet::GetSQL(const QString &Title)
{
    QString result;
    TScroller scroller(FReader);
    scroller.SetText(FindSQLText(Title), 0);
    while (scroller.Current().Kind != tkEnd) {
        const TPosition &t = scroller.Current();
        result += QString(t.Blanks.size(), u' ');
        if (t.Kind == tkKeyword)
            result += *static_cast<const QString *>(t.Properties);
        else
            result += t.Text;
        scroller.Next();
    }
    return result;
}

} // namespace qf::store
