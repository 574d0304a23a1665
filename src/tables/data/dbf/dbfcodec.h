#pragma once
// Text of dBASE fields in one code page, converted with iconv. A table's code page is decided once
// when it opens (TDbfTable): the language-driver byte, else the ".cpg" file beside the table, else
// UTF-8 when its text is valid UTF-8, else Windows-1252.

#include <QByteArray>
#include <QByteArrayView>
#include <QLocale>
#include <QString>
#include <memory>
#include <optional>

namespace qf::tables {

class TDbfCodec {
public:
    // UTF-8.
    TDbfCodec();
    // A code page as iconv names it ("CP866", "WINDOWS-1252"); IsValid() is false when iconv has
    // none.
    explicit TDbfCodec(const QByteArray &CodePage);

    bool IsValid() const { return FValid; }
    bool IsUtf8() const { return FUtf8; }
    const QByteArray &CodePage() const { return FName; }

    // Bytes the code page does not define read as U+FFFD.
    QString Decode(QByteArrayView Bytes) const;
    // Nothing when a character cannot be written in the code page.
    std::optional<QByteArray> Encode(const QString &Text) const;

    // The code page of a language-driver byte; empty for 0 and for ids this program does not know.
    static QByteArray LanguageDriverCodePage(uint8_t Id);
    // The code page a ".cpg" file names ("CP866", "1251", "UTF-8", "ISO-8859-5", "ANSI 1252"...),
    // spelled as iconv knows it; empty when iconv has no such code page.
    static QByteArray CpgCodePage(QByteArrayView Text);

private:
    struct TTable;
    QByteArray FName = "UTF-8";
    bool FValid = true;
    bool FUtf8 = true;
    std::shared_ptr<const TTable> FTable; // single-byte code pages: both directions at hand
};

// What a table's text is written in: the language-driver byte of its header, the text of its
// ".cpg" file (none when empty) and the code page they name.
struct TDbfEncoding {
    uint8_t LanguageDriver = 0;
    QByteArray CodePageFile;
    TDbfCodec Codec;
};

// A new table's encoding: the ANSI code page Windows gives the locale's language (1252 Western,
// 1250 Central European, 1251 Cyrillic, 1253 to 1258, 874 Thai) with its language-driver byte
// and a ".cpg" naming it; UTF-8 and a ".cpg" "UTF-8" for a language without a single-byte one.
TDbfEncoding DbfLocaleEncoding(const QLocale &Locale = QLocale());

// Text in Codec within Width bytes, cut between characters; nothing when a character cannot be
// written in the code page. Cut tells whether characters were left off.
std::optional<QByteArray> EncodeDbfText(const TDbfCodec &Codec, const QString &Text, int Width,
                                        bool &Cut);

// The longest prefix of Bytes (UTF-8) that fits in Width bytes without splitting a character.
QByteArrayView CutUtf8(QByteArrayView Bytes, qsizetype Width);

} // namespace qf::tables
