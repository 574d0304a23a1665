#include "tables/workspace.h"

#include "tables/tablequery.h"

namespace qf::tables {

TTableWorkspace::TTableWorkspace()
    : connection_(std::make_unique<TADOConnection>()),
      query_(std::make_unique<TADOQuery>(connection_.get())),
      dataSource_(std::make_unique<TDataSource>(query_.get())),
      sqlSet_(std::make_unique<TSQLSet>())
{
    InitTableQuerySet(*sqlSet_);
    recordCommands_ = std::make_unique<TRecordCommands>(*this);
}

TTableWorkspace::~TTableWorkspace() = default;

bool TTableWorkspace::Active() const { return query_->Active(); }

void TTableWorkspace::OpenDBFFile(const QString &) {}
bool TTableWorkspace::OpenAccessFile(const QString &) { return false; }
void TTableWorkspace::OpenCurrentTable() {}
bool TTableWorkspace::OpenFile(const QString &) { return false; }
void TTableWorkspace::Close() {}
void TTableWorkspace::Reopen() {}
void TTableWorkspace::ApplySort() {}
void TTableWorkspace::TitleClick(int) {}
void TTableWorkspace::ToggleDescended() {}
void TTableWorkspace::Unsort() {}
QString TTableWorkspace::GridConfigFile() const { return {}; }
void TTableWorkspace::SaveGridConfig() {}
void TTableWorkspace::LoadGridConfig() {}
void TTableWorkspace::ApplyColumnWidths() {}

}  // namespace qf::tables
