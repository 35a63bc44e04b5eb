#pragma once

#include <QLoggingCategory>

// The camera layer's messages ("vexlo.camera"); app/debuglog.h says which of them
// the debug log gets.
inline const QLoggingCategory &lcCamera()
{
    static const QLoggingCategory category("vexlo.camera");
    return category;
}
