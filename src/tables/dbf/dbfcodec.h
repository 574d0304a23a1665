#pragma once
// Text of dBASE fields: by the table's language-driver byte when it is set, else UTF-8 when the
// bytes are valid UTF-8 and Windows-1252 otherwise.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdint>
#include <optional>

namespace qf::tables {

class TDbfCodec {
public:
    explicit TDbfCodec(uint8_t LanguageDriver = 0);

    uint8_t LanguageDriver() const { return ldid_; }
    // The code page's name, empty for the UTF-8 / Windows-1252 default.
    const char *CodePage() const { return name_; }

    QString Decode(QByteArrayView Bytes) const;
    // Nothing when a character cannot be written in the table's code page.
    std::optional<QByteArray> Encode(const QString &Text) const;

private:
    uint8_t ldid_;
    const char *name_ = nullptr;
    mutable QStringDecoder decoder_;
};

// The longest prefix of Bytes (UTF-8) that fits in Width bytes without splitting a character.
QByteArrayView CutUtf8(QByteArrayView Bytes, qsizetype Width);

} // namespace qf::tables
