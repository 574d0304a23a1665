#include "tables/dbf/dbfcodec.h"
#include "store/textcodec.h"

namespace qf::tables {

using namespace qf::store;

namespace {
struct TCodePage {
    uint8_t Id;
    const char *Name;
};

// Language-driver ids as dBASE, FoxPro and the ODBC drivers write them.
constexpr TCodePage kCodePages[] = {
    {0x01, "IBM437"}, {0x02, "IBM850"}, {0x03, "windows-1252"}, {0x04, "macintosh"}, {0x08, "IBM865"},
    {0x09, "IBM437"}, {0x0A, "IBM850"}, {0x0B, "IBM437"}, {0x0D, "IBM437"}, {0x0E, "IBM850"},
    {0x0F, "IBM437"}, {0x10, "IBM850"}, {0x11, "IBM437"}, {0x12, "IBM850"}, {0x13, "Shift_JIS"},
    {0x14, "IBM850"}, {0x15, "IBM437"}, {0x16, "IBM850"}, {0x17, "IBM865"}, {0x18, "IBM437"},
    {0x19, "IBM437"}, {0x1A, "IBM850"}, {0x1B, "IBM437"}, {0x1C, "IBM863"}, {0x1D, "IBM850"},
    {0x1F, "IBM852"}, {0x22, "IBM852"}, {0x23, "IBM852"}, {0x24, "IBM860"}, {0x25, "IBM850"},
    {0x26, "IBM866"}, {0x37, "IBM850"}, {0x40, "IBM852"}, {0x4D, "GBK"}, {0x4E, "windows-949"},
    {0x4F, "Big5"}, {0x50, "windows-874"}, {0x57, "windows-1252"}, {0x58, "windows-1252"},
    {0x59, "windows-1252"}, {0x64, "IBM852"}, {0x65, "IBM866"}, {0x66, "IBM865"}, {0x67, "IBM861"},
    {0x6A, "IBM737"}, {0x6B, "IBM857"}, {0x6C, "IBM863"}, {0x78, "Big5"}, {0x79, "windows-949"},
    {0x7A, "GBK"}, {0x7B, "Shift_JIS"}, {0x7C, "windows-874"}, {0x7D, "windows-1255"},
    {0x7E, "windows-1256"}, {0x87, "IBM852"}, {0x88, "IBM857"}, {0x96, "x-mac-cyrillic"},
    {0x97, "x-mac-centraleurroman"}, {0x98, "x-mac-greek"}, {0xC8, "windows-1250"},
    {0xC9, "windows-1251"}, {0xCA, "windows-1254"}, {0xCB, "windows-1253"}, {0xCC, "windows-1257"},
};

bool IsAscii(QByteArrayView Bytes)
{
    for (char c : Bytes)
        if (uint8_t(c) >= 0x80)
            return false;
    return true;
}
} // namespace

QByteArrayView CutUtf8(QByteArrayView Bytes, qsizetype Width)
{
    if (Bytes.size() <= Width)
        return Bytes;
    qsizetype End = Width;
    while (End > 0 && (uint8_t(Bytes[End]) & 0xC0) == 0x80) // Bytes[End] starts the part that is cut off
        --End;
    return Bytes.first(End);
}

TDbfCodec::TDbfCodec(uint8_t LanguageDriver) : ldid_(LanguageDriver)
{
    for (const TCodePage &Page : kCodePages)
        if (Page.Id == LanguageDriver) {
            QStringDecoder Decoder(Page.Name);
            if (Decoder.isValid()) {
                name_ = Page.Name;
                decoder_ = std::move(Decoder);
            }
            break;
        }
}

QString TDbfCodec::Decode(QByteArrayView Bytes) const
{
    if (IsAscii(Bytes))
        return QString::fromLatin1(Bytes);
    if (name_) {
        decoder_.resetState();
        return decoder_.decode(Bytes);
    }
    return DecodeUtf8OrCp1252(Bytes);
}

std::optional<QByteArray> TDbfCodec::Encode(const QString &Text) const
{
    if (!name_)
        return Text.toUtf8();
    QStringEncoder Encoder(name_);
    QByteArray Bytes = Encoder.encode(Text);
    // Converters substitute what they cannot map, so only the way back proves nothing was lost.
    if (Encoder.hasError() || Decode(Bytes) != Text)
        return std::nullopt;
    return Bytes;
}

} // namespace qf::tables
