#pragma once
// The field records of the open table: one per dataset field, built when the table opens and
// freed when it closes. They hold what the record editor, the grid and the layout file share;
// the editor's controls live with the editor in the ui library.

#include "tables/data/fieldtypes.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace qf::tables {

// A pick list never holds more entries than this.
inline constexpr int kMaxPickList = 50;

struct TFieldEditInfo {
    TDbfType Kind = dtC;
    int32_t EditWidth = 0;       // editor width in characters
    int32_t GridWidth = 0;       // grid column width in pixels; 0 leaves the grid's own width
    uint8_t Template = 0;        // the value is carried into a new record
    uint8_t Autocomplete = 0;    // typing completes from the pick list
    uint8_t NoTemplateValue = 0; // no template value was taken at the last New
    QString TemplateValue;
    QStringList PickList; // kinds C, N and D only
};

// Kinds that keep a pick list (and store it in the layout file).
inline bool HasPickList(TDbfType Kind) { return Kind == dtC || Kind == dtN || Kind == dtD; }

} // namespace qf::tables
