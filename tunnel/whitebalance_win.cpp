#include "tunnel/paramtunnel.h"

#include "camera/cameralink.h"

#include <opencv2/videoio.hpp>

// OpenCV's DirectShow backend maps WHITE_BALANCE_BLUE_U to the camera's
// white-balance temperature.
int ParamTunnel::whiteBalanceProperty()
{
    return cv::CAP_PROP_WHITE_BALANCE_BLUE_U;
}

// DirectShow: AUTO_EXPOSURE 1 is automatic exposure.
int ParamTunnel::autoExposureOnValue()
{
    return 1;
}

// DirectShow's exposure control is in log base 2 seconds: the code itself.
int ParamTunnel::exposureControlValue(int code)
{
    return code;
}

// DirectShow sets the exposure with the manual flag, which also switches the
// camera's auto-exposure mode to manual.
void ParamTunnel::sendExposureTime(CaptureSession &session, int code)
{
    session.set(cv::CAP_PROP_EXPOSURE, exposureControlValue(code));
}
