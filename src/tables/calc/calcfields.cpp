#include "tables/calc/calcfields.h"

namespace qf::tables {

const QString CalcExprPrefix = QStringLiteral("CF~Expr~");
const QString CalcTypePrefix = QStringLiteral("CF~Type~");

namespace {
constexpr int kExprKind = 2;
constexpr int kTypeKind = 1;
} // namespace

TPayload PayloadOfKind(int Kind)
{
    switch (Kind) {
    case 1:
    case 13:
    case 14: return plInt32;
    case 2:
    case 3:
    case 4:
    case 6:
    case 8:
    case 10:
    case 11:
    case 12: return plString;
    case 5:
    case 9: return plByte;
    default: return plNone;
    }
}

void DisposeProjectItem(int Structure, void *Properties)
{
    switch (PayloadOfKind(Structure)) {
    case plInt32: delete static_cast<int32_t *>(Properties); break;
    case plByte: delete static_cast<uint8_t *>(Properties); break;
    case plString: delete static_cast<QString *>(Properties); break;
    case plNone: break; // other kinds carry no data
    }
}

void SetupProjectStore(store::TDList &Store)
{
    Store.Separator = '~';
    Store.OnDisposeStructure = [](store::TDList *, int Structure, void *Properties) {
        DisposeProjectItem(Structure, Properties);
    };
}

QString CalcFieldNameFromKey(const QString &Key)
{
    const qsizetype At = Key.lastIndexOf(QLatin1Char('~'));
    return At < 0 ? Key : Key.mid(At + 1);
}

QString CalcFieldName(const QString &Text) { return Text.toUpper(); }

TCalcFields::TCalcFields(store::TDList &Store, const store::TReader &Reader)
    : FStore(Store), FReader(Reader)
{
    FStore.OnFilter = [this](store::TDList *, const std::string &Key, int Structure,
                             void *Properties,
                             bool &Enabled) { DList1Filter(Key, Structure, Properties, Enabled); };
}

TCalcFields::~TCalcFields() { FStore.OnFilter = nullptr; }

void TCalcFields::DList1Filter(const std::string &Key, int Structure, void *, bool &)
{
    if (FDListScanMode == 1 && Structure == kExprKind)
        FCollected.append(CalcFieldNameFromKey(QString::fromStdString(Key)));
}

QStringList TCalcFields::RefreshCalcFieldList()
{
    FStore.SetRange(CalcExprPrefix, 0, 0);
    FDListScanMode = 1;
    FCollected.clear();
    FStore.Scan();
    QStringList Names;
    Names.swap(FCollected);
    return Names;
}

bool TCalcFields::ValidName(const QString &Text) const
{
    if (Text.isEmpty())
        return false;
    if (Text[0] >= QLatin1Char('0') && Text[0] <= QLatin1Char('9'))
        return false;
    for (const QChar Ch : Text)
        if (FReader.IsBlank(Ch) || FReader.IsDelimiter(Ch) || Ch == QLatin1Char('~'))
            return false;
    return true;
}

void TCalcFields::Add(const QString &Name)
{
    const QString Upper = CalcFieldName(Name);
    FStore.Add(CalcExprPrefix + Upper, kExprKind, new QString());
    FStore.Add(CalcTypePrefix + Upper, kTypeKind, new int32_t(cfString));
}

void TCalcFields::Delete(const QString &Name)
{
    const QString Upper = CalcFieldName(Name);
    FStore.Delete(CalcTypePrefix + Upper);
    FStore.Delete(CalcExprPrefix + Upper);
}

bool TCalcFields::Exists(const QString &Name) const
{
    int Structure;
    void *Properties;
    return FStore.Find(CalcExprPrefix + CalcFieldName(Name), Structure, Properties);
}

bool TCalcFields::Expression(const QString &Name, QString &Value) const
{
    int Structure;
    void *Properties = nullptr;
    if (!FStore.Find(CalcExprPrefix + CalcFieldName(Name), Structure, Properties) ||
        Structure != kExprKind || !Properties)
        return false;
    Value = *static_cast<QString *>(Properties);
    return true;
}

bool TCalcFields::TypeCode(const QString &Name, int32_t &Value) const
{
    int Structure;
    void *Properties = nullptr;
    if (!FStore.Find(CalcTypePrefix + CalcFieldName(Name), Structure, Properties) ||
        Structure != kTypeKind || !Properties)
        return false;
    Value = *static_cast<int32_t *>(Properties);
    return true;
}

bool TCalcFields::SetExpression(const QString &Name, const QString &Value)
{
    int Structure;
    void *Properties = nullptr;
    if (!FStore.Find(CalcExprPrefix + CalcFieldName(Name), Structure, Properties) ||
        Structure != kExprKind || !Properties)
        return false;
    *static_cast<QString *>(Properties) = Value;
    return true;
}

bool TCalcFields::SetTypeCode(const QString &Name, int32_t Value)
{
    int Structure;
    void *Properties = nullptr;
    if (!FStore.Find(CalcTypePrefix + CalcFieldName(Name), Structure, Properties) ||
        Structure != kTypeKind || !Properties)
        return false;
    *static_cast<int32_t *>(Properties) = Value;
    return true;
}

bool TCalcFields::Find(const QString &Name, const QString *&Expression, const int32_t *&Type) const
{
    int Structure;
    void *Properties = nullptr;
    if (!FStore.Find(CalcExprPrefix + Name, Structure, Properties) || Structure != kExprKind ||
        !Properties)
        return false;
    Expression = static_cast<const QString *>(Properties);
    if (!FStore.Find(CalcTypePrefix + Name, Structure, Properties) || Structure != kTypeKind ||
        !Properties)
        return false;
    Type = static_cast<const int32_t *>(Properties);
    return true;
}

} // namespace qf::tables
