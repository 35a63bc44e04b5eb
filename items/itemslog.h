#pragma once

#include <QLoggingCategory>

// The items layer's messages ("vexlo.items"); app/debuglog.h says which of them
// the debug log gets.
inline const QLoggingCategory &lcItems()
{
    static const QLoggingCategory category("vexlo.items");
    return category;
}
