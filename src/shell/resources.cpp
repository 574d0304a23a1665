#include "shell/resources.h"

#include <QDir>
#include <QtGlobal>

void qf_InitResources()
{
    static const bool Done = [] {
        Q_INIT_RESOURCE(quillfast);
        return true;
    }();
    Q_UNUSED(Done);
}
