#include "backend/controlrows.h"

#include "camera/cameralink.h"
#include "tunnel/paramtunnel.h"

#include <opencv2/videoio.hpp>

QStringList rowsWithoutControl(const CameraLink &camera)
{
    struct Route
    {
        int propId;
        QStringList rows;
    };
    static const Route routes[] = {
        {cv::CAP_PROP_AUTO_EXPOSURE, {"aecIndex"}},
        {cv::CAP_PROP_IRIS, {"apertureIndex"}},
        {cv::CAP_PROP_EXPOSURE, {"exposureIndex"}},
        {cv::CAP_PROP_GAIN, {"isoIndex"}},
        {cv::CAP_PROP_BRIGHTNESS, {"evIndex"}},
        {cv::CAP_PROP_BACKLIGHT, {"afdIndex"}},
        {ParamTunnel::whiteBalanceProperty(), {"awbIndex", "colorTemperatureIndex"}},
        {cv::CAP_PROP_HUE, {"warmnessIndex"}},
        {cv::CAP_PROP_SATURATION, {"saturationIndex"}},
        {cv::CAP_PROP_CONTRAST, {"contrastIndex"}},
        {cv::CAP_PROP_SHARPNESS, {"sharpnessIndex"}},
        {cv::CAP_PROP_ROLL, {"mceRindex"}},
        {cv::CAP_PROP_PAN, {"mceGindex"}},
        {cv::CAP_PROP_TILT, {"mceBindex"}},
        {cv::CAP_PROP_ZOOM, {"sceIndex"}},
        {cv::CAP_PROP_GAMMA, {"brightSwitch", "skinSwitch"}},
    };
    QStringList rows;
    if (!camera.isOpened())
        return rows;
    for (const Route &r : routes) {
        if (!camera.reaches(r.propId))
            rows << r.rows;
    }
    return rows;
}
