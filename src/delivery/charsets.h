#pragma once
// The message charsets offered for a mailing, and the conversion of text into them.

#include <QByteArray>
#include <QString>
#include <array>
#include <vector>

namespace qf::delivery {

struct TCharsetInfo {
    const char *DisplayName;
    const char *MimeName;
};

// Index = what projects and settings store.
inline constexpr std::array<TCharsetInfo, 19> CharsetTable{{
    {"Arabic (Windows)", "windows-1256"},
    {"Baltic (Windows)", "windows-1257"},
    {"Central European (ISO)", "iso-8859-2"},
    {"Central European (Windows)", "windows-1250"},
    {"Cyrillic (ISO)", "iso-8859-5"},
    {"Cyrillic (KOI8-R)", "koi8-r"},
    {"Cyrillic (KOI8-U)", "koi8-u"},
    {"Cyrillic (Windows)", "windows-1251"},
    {"Greek (ISO)", "iso-8859-7"},
    {"Greek (Windows)", "windows-1253"},
    {"Hebrew (Windows)", "windows-1255"},
    {"Thai (Windows)", "windows-874"},
    {"Turkish (Windows)", "windows-1254"},
    {"Unicode (UTF-7)", "utf-7"},
    {"Unicode (UTF-8)", "utf-8"},
    {"User Defined", "x-user-defined"},
    {"Vietnamese (Windows)", "windows-1258"},
    {"Western European (ISO)", "iso-8859-1"},
    {"Western European (Windows)", "windows-1252"},
}};

// Encodes text into one charset through iconv. "x-user-defined" stands for this
// platform's own 8-bit text: UTF-8 bytes, unconverted, labelled "utf-8" in the message
// since no mail reader knows that label. Not shared between threads.
class TCharsetEncoder {
public:
    enum TUnmappable {
        umFail,         // throw EIdException naming the character
        umHtmlReference // write "&#N;" instead
    };

    explicit TCharsetEncoder(const QString &MimeName);
    ~TCharsetEncoder();
    TCharsetEncoder(const TCharsetEncoder &) = delete;
    TCharsetEncoder &operator=(const TCharsetEncoder &) = delete;

    const QString &MimeName() const { return FMimeName; }
    // The label the message carries for this charset (Content-Type, encoded words).
    const QByteArray &WireName() const { return FWireName; }
    QByteArray Encode(const QString &Text, TUnmappable Mode = umFail);
    // Throws as Encode does when Text cannot be written, without writing it.
    void Check(const QString &Text);

private:
    QByteArray EncodeWithIconv(const QString &Text, TUnmappable Mode);
    // The byte of one character through a table that iconv fills as characters come;
    // false for a character to leave to iconv (one the charset lacks, or not one byte).
    bool TableByte(char16_t C, char &Byte);

    QString FMimeName;
    QByteArray FWireName;
    bool FPassUtf8 = false;
    void *FIconv = nullptr; // iconv_t
    // For the stateless one-byte charsets: per UTF-16 unit, the byte, or kUnknown/kIconv.
    std::vector<qint16> FTable;
    // Every ASCII character is its own byte (all table charsets offered here).
    bool FAsciiSame = false;
};

} // namespace qf::delivery
