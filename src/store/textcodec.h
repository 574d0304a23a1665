#pragma once
// Decoding of 8-bit text that came from elsewhere.

#include <QByteArrayView>
#include <QString>

namespace qf::store {

bool IsValidUtf8(QByteArrayView Bytes);
QString DecodeCp1252(QByteArrayView Bytes);
// UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString DecodeUtf8OrCp1252(QByteArrayView Bytes);

} // namespace qf::store
