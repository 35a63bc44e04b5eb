#include "tunnel/paramtunnel.h"

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
