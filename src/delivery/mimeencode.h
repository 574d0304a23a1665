#pragma once
// MIME building blocks for the messages we write: transfer encodings, encoded words,
// parameters and header folding. Every line ends with CR LF and stays within 998 bytes.

#include <QByteArray>
#include <QList>
#include <QString>

namespace qf::delivery {

class TCharsetEncoder;

// Data: text whose line breaks are CR LF. Lines of at most 76 characters.
QByteArray EncodeQuotedPrintable(QByteArrayView Data);
// Lines of 76 characters, each ended by CR LF.
QByteArray EncodeBase64Lines(QByteArrayView Data);
// EncodeQuotedPrintable into Out, or false when base64 comes out shorter for these bytes.
bool EncodeQuotedPrintableIfShorter(QByteArrayView Data, QByteArray &Out);

// Header value pieces that may be separated by folding white space.
using THeaderTokens = QList<QByteArray>;

// Unstructured text (a subject): plain words when it is printable ASCII, else encoded words
// in the encoder's charset. Line breaks in Text become spaces.
THeaderTokens EncodeHeaderText(const QString &Text, TCharsetEncoder &Encoder);
// A display name before an address: an atom, a quoted string or encoded words.
THeaderTokens EncodePhrase(const QString &Name, TCharsetEncoder &Encoder);
// "Name=value" of a Content-Type or Content-Disposition, with RFC 2231 continuations
// and UTF-8 percent-encoding when the value is not short printable ASCII. Every piece but
// the last ends with ";".
THeaderTokens EncodeParameter(const QByteArray &Name, const QString &Value);

// "Name: " + the tokens, folded before a token where a line would pass 76 characters.
void AppendHeader(QByteArray &Out, const char *Name, const THeaderTokens &Tokens);

// A content type for a file name, from its extension (case does not matter).
QByteArray GuessContentType(const QString &FileName);

} // namespace qf::delivery
