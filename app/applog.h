#pragma once

#include <QLoggingCategory>

// The app layer's messages ("vexlo.app"); app/debuglog.h says which of them
// the debug log gets.
inline const QLoggingCategory &lcApp()
{
    static const QLoggingCategory category("vexlo.app");
    return category;
}
