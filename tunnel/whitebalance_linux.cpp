#include "tunnel/paramtunnel.h"

#include <opencv2/videoio.hpp>

// OpenCV's V4L2 backend maps WHITE_BALANCE_BLUE_U to V4L2's blue balance, a
// control without a tuning register: the white-balance temperature is
// WB_TEMPERATURE there.
int ParamTunnel::whiteBalanceProperty()
{
    return cv::CAP_PROP_WB_TEMPERATURE;
}
