#pragma once

#include <QLoggingCategory>

// The settings layer's messages ("vexlo.settings"); app/debuglog.h says which of them
// the debug log gets.
inline const QLoggingCategory &lcSettings()
{
    static const QLoggingCategory category("vexlo.settings");
    return category;
}
