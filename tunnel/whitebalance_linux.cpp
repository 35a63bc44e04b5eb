#include "tunnel/paramtunnel.h"

#include "camera/cameralink.h"

#include <opencv2/videoio.hpp>

#include <cmath>

// OpenCV's V4L2 backend maps WHITE_BALANCE_BLUE_U to V4L2's blue balance, a
// control without a tuning register: the white-balance temperature is
// WB_TEMPERATURE there.
int ParamTunnel::whiteBalanceProperty()
{
    return cv::CAP_PROP_WB_TEMPERATURE;
}

// OpenCV hands AUTO_EXPOSURE to V4L2_CID_EXPOSURE_AUTO unchanged, whose menu
// is 0 auto, 1 manual, 2 shutter priority, 3 aperture priority. UVC cameras
// take automatic exposure time as aperture priority.
int ParamTunnel::autoExposureOnValue()
{
    return 3;
}

// OpenCV hands EXPOSURE to V4L2_CID_EXPOSURE_ABSOLUTE unchanged: an unsigned
// time in 100 us units, where a negative code would clamp to the longest
// exposure. Send what the Windows UVC driver makes of 2^code seconds.
int ParamTunnel::exposureControlValue(int code)
{
    return int(std::lround(std::ldexp(10000.0, code)));
}

void ParamTunnel::sendExposureTime(CaptureSession &session, int code)
{
    session.set(cv::CAP_PROP_AUTO_EXPOSURE, 1); // V4L2_EXPOSURE_MANUAL
    session.set(cv::CAP_PROP_EXPOSURE, exposureControlValue(code));
}
