#include "camera/controlroutes.h"

// DirectShow's UVC driver offers every camera-terminal and processing-unit
// control through IAMCameraControl and IAMVideoProcAmp, roll included, and
// OpenCV's DirectShow backend maps each capture property to one of them.
std::vector<UnreachableProperty> prepareControlRoutes(int)
{
    return {};
}
