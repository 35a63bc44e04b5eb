#include "items/registeritems.h"

#include "items/histogramitem.h"
#include "items/lmimageitem.h"
#include "items/lmimageitem2.h"
#include "items/stillimageitem.h"

#include <QtQml>

void registerImageItems(bool painted)
{
    qmlRegisterType<LmImageItem>("LmImageItem", 1, 0, "LmImageItem");
    qmlRegisterType<LmImageItem2>("LmImageItem", 1, 0, "LmImageItem2");
    if (painted)
        qmlRegisterType<LmImageItem2>("LmImageItem", 1, 0, "PreviewItem");
    else
        qmlRegisterType<LmImageItem>("LmImageItem", 1, 0, "PreviewItem");
    // The image statistics panel's drawings.
    qmlRegisterType<HistogramItem>("LmImageItem", 1, 0, "HistogramItem");
    qmlRegisterType<StillImageItem>("LmImageItem", 1, 0, "StillImageItem");
}
