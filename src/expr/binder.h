#pragma once
// What a host may offer the engine besides the variable events: names bound to the fields of its
// current record once, and read without asking. A name the host does not bind, and every name
// while its error latch is set, is asked through the events as before.

#include "expr/exprtypes.h"

#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <cstdint>

namespace qf::expr {

class TFieldBinder {
public:
    virtual ~TFieldBinder() = default;
    // The current record's stored bytes, for a host whose records are fixed-width dBASE records:
    // nullptr when some value of it comes from elsewhere (an edit), its fields then being read
    // through the calls below. Values read from the bytes are the values those calls give. Lost
    // is set when reading the bytes found them gone (the file cut short by another program): the
    // evaluation is then done again through the reads, which report it.
    struct TRecord {
        const char *Bytes = nullptr;
        const std::atomic<bool> *Lost = nullptr;
    };
    // Asked once per evaluation. Changes whenever names would bind differently (another dataset,
    // its fields made again); 0 binds nothing for this evaluation. Fills Record when it can.
    virtual uint64_t BindStamp(TRecord &Record) = 0;
    // The field that Name stands for, -1 when it is no plain field. Answers: a bit per TExprType
    // whose variable event the field answers (none answers the others, without side effects).
    // Safe: its reads never fail.
    virtual int Bind(const QString &Name, uint8_t &Answers, bool &Safe) = 0;
    virtual int32_t ReadInteger(int Field) = 0;
    virtual long double ReadExtended(int Field) = 0;
    virtual bool ReadBoolean(int Field) = 0;
    virtual void ReadString(int Field, QString &Value) = 0;
    virtual TDateTime ReadDateTime(int Field) = 0;
    // Whether the current record's text equals Ascii, told from its stored bytes: 1 or 0; -1 when
    // the bytes cannot tell (a pending edit, text beyond ASCII).
    virtual int TextEquals(int Field, QByteArrayView Ascii)
    {
        (void)Field;
        (void)Ascii;
        return -1;
    }
    // Where a bound field's value lies in those bytes: Kind is the field's type letter ('C' text,
    // 'N'/'F' number, 'D' date as YYYYMMDD), 0 when the field cannot be read so.
    struct TBytes {
        int Offset = 0;
        int Width = 0;
        char Kind = 0;
    };
    virtual TBytes FieldBytes(int Field)
    {
        (void)Field;
        return {};
    }

    // Set while the host answers no variable; bound names then go to the events too.
    const bool *Latch = nullptr;
    bool Latched() const { return Latch && *Latch; }
};

} // namespace qf::expr
