#include "backend/controlrows.h"

#include "camera/cameralink.h"
#include "tunnel/paramtunnel.h"

QStringList rowsWithoutControl(const CameraLink &camera)
{
    QStringList rows;
    if (!camera.isOpened())
        return rows;
    for (int id = 0; id < Params::Count; ++id) {
        const Params::Row &row = Params::row(id);
        if (!camera.reaches(ParamTunnel::propertyOf(row.control)))
            rows << QLatin1String(row.property);
    }
    return rows;
}
