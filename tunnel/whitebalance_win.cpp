#include "tunnel/paramtunnel.h"

#include <opencv2/videoio.hpp>

// OpenCV's DirectShow backend maps WHITE_BALANCE_BLUE_U to the camera's
// white-balance temperature.
int ParamTunnel::whiteBalanceProperty()
{
    return cv::CAP_PROP_WHITE_BALANCE_BLUE_U;
}
