#include "tables/recordcommands.h"

#include "tables/fieldinfo.h"
#include "tables/workspace.h"

#include <QLocale>

namespace qf::tables {

TRecordCommands::TRecordCommands(TTableWorkspace &Workspace) : FWs(Workspace)
{
    TADOQuery &Q = FWs.ADOQuery1();
    Q.BeforeInsert = [this](TADOQuery &) { BeforeInsertOrEdit(); };
    Q.BeforeEdit = [this](TADOQuery &) { BeforeInsertOrEdit(); };
    Q.AfterCancel = [this](TADOQuery &) { AfterCancel(); };
    Q.BeforePost = [this](TADOQuery &) { BeforePost(); };
    Q.AfterPost = [this](TADOQuery &) { AfterPost(); };
    auto Buttons = [this](TADOQuery &) {
        if (OnButtonsChanged)
            OnButtonsChanged();
    };
    Q.AfterInsert = Buttons;
    Q.AfterEdit = Buttons;
    Q.AfterDelete = Buttons;
    Q.AfterScroll = [this](TADOQuery &) {
        if (OnScroll)
            OnScroll();
    };
}

TRecordCommands::~TRecordCommands()
{
    TADOQuery &Q = FWs.ADOQuery1();
    Q.BeforeInsert = Q.BeforeEdit = Q.AfterCancel = Q.BeforePost = Q.AfterPost = nullptr;
    Q.AfterInsert = Q.AfterEdit = Q.AfterDelete = Q.AfterScroll = nullptr;
}

QString TRecordCommands::TableTitle() const
{
    return FWs.TableName.isEmpty() ? QStringLiteral("the SQL result")
                                   : QStringLiteral("\"%1\"").arg(FWs.TableName);
}

void TRecordCommands::Report(const QString &What, const QString &Reason)
{
    if (OnError)
        OnError(What.arg(TableTitle()) + QStringLiteral("\n\n") + Reason);
}

void TRecordCommands::BeforeInsertOrEdit() { FEditRecNo = FWs.ADOQuery1().RecNo(); }

void TRecordCommands::AfterCancel()
{
    TADOQuery &Q = FWs.ADOQuery1();
    if (FEditRecNo > 0 && FEditRecNo <= Q.RecordCount())
        Q.SetRecNo(FEditRecNo);
    if (OnButtonsChanged)
        OnButtonsChanged();
}

void TRecordCommands::BeforePost()
{
    TADOQuery &Q = FWs.ADOQuery1();
    for (size_t i = 0; i < FWs.FieldInfo.size() && int(i) < Q.FieldCount(); ++i)
        if (FWs.FieldInfo[i].Kind == dtL && Q.Fields(int(i)).IsNull())
            Q.Fields(int(i)).SetAsBoolean(false);
}

void TRecordCommands::AfterPost()
{
    TADOQuery &Q = FWs.ADOQuery1();
    if (OnPosted)
        OnPosted();
    if (OnButtonsChanged)
        OnButtonsChanged();
    try {
        Q.UpdateBatch();
    } catch (const EDatabaseError &E) {
        // Reopening here, as one might to get back to the file's state, would drop what was typed.
        Report(QStringLiteral("The record could not be saved to the table %1."),
               E.Message() +
                   QStringLiteral(
                       "\n\nWhat you typed is kept as a change not yet saved; it is written "
                       "with the next change that the table takes, and lost when the table is "
                       "closed."));
    }
    if (UpdateAfterPost(Q, FWs.FieldInfo) && OnEditorLayout)
        OnEditorLayout();
}

bool TRecordCommands::Active() const { return FWs.ADOQuery1().Active(); }

bool TRecordCommands::Writable() const
{
    const TADOQuery &Q = FWs.ADOQuery1();
    return Q.Active() && Q.Source() && !Q.Source()->ReadOnly() && Q.FieldCount() > 0;
}

QString TRecordCommands::ReadOnlyReason() const
{
    const TADOQuery &Q = FWs.ADOQuery1();
    if (!Q.Active() || !Q.Source())
        return QStringLiteral("No table is open.");
    if (Q.Source()->ReadOnly())
        return Q.Source()->ReadOnlyReason();
    return QString();
}

bool TRecordCommands::CanEdit() const
{
    const TADOQuery &Q = FWs.ADOQuery1();
    return Q.Active() && !Q.IsEmpty();
}

bool TRecordCommands::CanDelete() const { return Writable() && !FWs.ADOQuery1().IsEmpty(); }

bool TRecordCommands::CanFindDuplicates() const
{
    const TADOQuery &Q = FWs.ADOQuery1();
    return Q.Active() && FWs.FSorted == 1 && Q.FindField(FWs.FSortField) != nullptr;
}

bool TRecordCommands::AddRecord()
{
    try {
        FWs.ADOQuery1().Append();
        return true;
    } catch (const EDatabaseError &E) {
        Report(QStringLiteral("A record cannot be added to the table %1."), E.Message());
        return false;
    }
}

bool TRecordCommands::DeleteCurrentRecord()
{
    if (!CanDelete())
        return false;
    if (ConfirmDel && ConfirmDel()) {
        const TDeleteAnswer Answer = AskDelete ? AskDelete() : daNo;
        if (Answer == daNo)
            return false;
        if (Answer == daYesDontAskAgain && TurnOffConfirmDel)
            TurnOffConfirmDel();
    }
    TADOQuery &Q = FWs.ADOQuery1();
    const bool OthersPending = Q.Source()->HasPendingChanges() || Q.Modified();
    const int RecNo = Q.RecNo();
    try {
        Q.Delete();
    } catch (const EDatabaseError &E) {
        Report(QStringLiteral("The record cannot be deleted from the table %1."), E.Message());
        return false;
    }
    try {
        Q.UpdateBatch();
        return true;
    } catch (const EDatabaseError &E) {
        if (OthersPending) {
            // Reopening would throw away earlier changes that are still waiting to be written.
            Report(QStringLiteral("The record could not be deleted from the table %1."),
                   E.Message() +
                       QStringLiteral(
                           "\n\nThe deletion is kept with the other changes not yet saved."));
            return false;
        }
        Report(QStringLiteral("The record could not be deleted from the table %1."),
               E.Message() + QStringLiteral("\n\nThe table is shown again as it is stored."));
    }
    try {
        FWs.Reopen();
        if (Q.Active() && RecNo > 0)
            Q.SetRecNo(std::min(RecNo, Q.RecordCount()));
    } catch (const EDatabaseError &E) {
        Report(QStringLiteral("The table %1 could not be opened again."), E.Message());
    }
    if (OnButtonsChanged)
        OnButtonsChanged();
    return false;
}

QStringList TRecordCommands::FindFieldNames() const
{
    QStringList Names;
    const TADOQuery &Q = FWs.ADOQuery1();
    if (!Q.Active())
        return Names;
    for (int i = 0; i < Q.FieldCount(); ++i) {
        const TDbfType Kind = MapFieldTypeToDbf(Q.Fields(i).DataType());
        if (Kind != dtL && Kind != dtM)
            Names << Q.Fields(i).FieldName();
    }
    return Names;
}

TRecordCommands::TFindResult TRecordCommands::Find(const QString &FieldName, const QString &Value,
                                                   bool Including)
{
    TADOQuery &Q = FWs.ADOQuery1();
    if (!Q.Active() || FieldName.isEmpty() || Value.isEmpty())
        return frNothing;
    const TField *Field = Q.FindField(FieldName);
    if (!Field)
        return frNothing;
    QVariant Key = Value;
    switch (MapFieldTypeToDbf(Field->DataType())) {
    case dtN: {
        double Number;
        if (!TryStrToFloat(Value, Number))
            throw EDatabaseError(
                QStringLiteral("'%1' is not a valid floating point value").arg(Value));
        Key = Number;
        break;
    }
    case dtD: {
        TDateTime Serial;
        if (!TryStrToDateTime(Value, Serial))
            throw EDatabaseError(QStringLiteral("'%1' is not a valid date and time").arg(Value));
        Key = Serial;
        break;
    }
    default: break;
    }
    if (!Q.Locate(FieldName.toUpper(), Key, Including ? loPartialKey : 0))
        return frNotFound;
    if (FWs.SetCurrentColumn)
        FWs.SetCurrentColumn(Field->Index());
    return frFound;
}

bool TRecordCommands::FindDuplicates()
{
    if (!CanFindDuplicates())
        return false;
    TADOQuery &Q = FWs.ADOQuery1();
    const TField &Field = *Q.FindField(FWs.FSortField);
    const TDbfType Kind = MapFieldTypeToDbf(Field.DataType());
    const QLocale Locale;
    const int Start = Q.RecNo();
    bool Found = false;
    Q.DisableControls();
    try {
        QVariant Previous;
        bool First = true;
        while (!Q.Eof()) {
            const QVariant Current =
                Field.IsNull() ? QVariant()
                               : QVariant(Kind == dtC || Kind == dtM ? QVariant(Field.AsString())
                                                                     : Field.Value());
            if (!First) {
                bool Equal = false;
                switch (Kind) {
                case dtC: {
                    const QString Text = Current.toString();
                    Equal = !Text.isEmpty() &&
                            Locale.toLower(Text) == Locale.toLower(Previous.toString());
                    break;
                }
                case dtN:
                    Equal = Current.isValid() && Previous.isValid() &&
                            Current.toDouble() == Previous.toDouble();
                    break;
                case dtD:
                    Equal = Current.isValid() && Previous.isValid() &&
                            Field.AsDateTime() == Previous.toDouble();
                    break;
                case dtL:
                    Equal = Current.isValid() && Previous.isValid() &&
                            Current.toBool() == Previous.toBool();
                    break;
                case dtM:
                    Equal = Current.isValid() && Previous.isValid() &&
                            Current.toString() == Previous.toString();
                    break;
                }
                if (Equal) {
                    Found = true;
                    break;
                }
            }
            First = false;
            Previous = Kind == dtD && Current.isValid() ? QVariant(Field.AsDateTime()) : Current;
            const int Before = Q.RecNo();
            Q.Next();
            if (Q.RecNo() <= Before)
                break;
        }
        if (!Found && Start > 0)
            Q.SetRecNo(Start);
    } catch (...) {
        Q.EnableControls();
        throw;
    }
    Q.EnableControls();
    if (FWs.SetCurrentColumn)
        FWs.SetCurrentColumn(Field.Index());
    return Found;
}

bool TRecordCommands::SavePendingChanges()
{
    TADOQuery &Q = FWs.ADOQuery1();
    if (!Q.Active() || !Q.Source() || !Q.Source()->HasPendingChanges() || Q.State() != dsBrowse)
        return true;
    try {
        Q.UpdateBatch();
        return true;
    } catch (const EDatabaseError &E) {
        const QString Message =
            QStringLiteral("Changes to the table %1 could not be saved.\n\n%2\n\n"
                           "Close the table and lose these changes?")
                .arg(TableTitle(), E.Message());
        return AskDiscard && AskDiscard(Message);
    }
}

QString TRecordCommands::RecordPositionText() const
{
    const TADOQuery &Q = FWs.ADOQuery1();
    return QStringLiteral("Record %1 of %2").arg(Q.RecNo()).arg(Q.RecordCount());
}

} // namespace qf::tables
