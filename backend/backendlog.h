#pragma once

#include <QLoggingCategory>

// The backend layer's messages ("vexlo.backend"); app/debuglog.h says which of them
// the debug log gets.
inline const QLoggingCategory &lcBackend()
{
    static const QLoggingCategory category("vexlo.backend");
    return category;
}
