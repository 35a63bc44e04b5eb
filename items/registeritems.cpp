#include "items/registeritems.h"

#include "items/lmimageitem.h"
#include "items/lmimageitem2.h"

#include <QtQml>

void registerImageItems(bool painted)
{
    qmlRegisterType<LmImageItem>("LmImageItem", 1, 0, "LmImageItem");
    qmlRegisterType<LmImageItem2>("LmImageItem", 1, 0, "LmImageItem2");
    if (painted)
        qmlRegisterType<LmImageItem2>("LmImageItem", 1, 0, "PreviewItem");
    else
        qmlRegisterType<LmImageItem>("LmImageItem", 1, 0, "PreviewItem");
}
