#pragma once
// The value texts of a merge in the user's locale (QLocale()): numbers in general format with
// the locale's decimal separator, dates in the short date format with a four-digit year followed
// by the long time unless midnight, as the table and the engine write them. The locale's formats
// are read once and kept until the default locale changes, so that a merge of many records does
// not ask the locale for every value. Gives exactly the texts of tables::FloatToStr,
// expr::FormatGeneral and expr::DateTimeToStr.

#include <QLocale>
#include <QString>
#include <vector>

namespace qf::composer {

// Out made Text, in the buffer it holds when that is its own and large enough.
void PutText(QString &Out, QStringView Text);

class TValueTexts {
public:
    // Takes up the default locale's formats when it has changed since the last call.
    void Refresh();
    // A table's number field.
    QString Float(double Value) const;
    // A calculated field's float.
    QString General(long double Value) const;
    // A date and time of a field; empty outside the years 1..9999.
    QString DateTime(double Value) const;

    // The same texts written into Out, in the buffer it holds when that is enough: a merge writes
    // one per placeholder and record.
    void Float(double Value, QString &Out) const;
    void General(long double Value, QString &Out) const;
    void DateTime(double Value, QString &Out) const;
    // A number's text as tables::PlainFloatChars writes it (with "." as the point) made the
    // table's text in Out; false when the locale's point does not fit the fast road.
    bool PlainFloat(const char *Plain, int n, QString &Out) const;

private:
    bool fastDate(double Value, QString &Out) const;
    bool FReady = false;
    QLocale FLocale;
    QString FPoint;
    QChar FGeneralPoint;
    // The short date format in parts, when it holds only days, months, four-digit years and
    // literal text; otherwise (FFast false) the locale writes every date.
    struct TPart {
        enum TKind {
            Text,
            Day,
            Day2,
            DayName,
            LongDayName,
            Month,
            Month2,
            MonthName,
            LongMonthName,
            Year
        } Kind;
        QString Literal;
    };
    std::vector<TPart> FDate;
    QString FMonthNames[2][13], FDayNames[2][8]; // short and long, from 1
    bool FFast = false;
};

} // namespace qf::composer
