// uvcvideo's run-time control mappings (UVCIOC_CTRL_MAP) and the camera's
// refusal of an exposure time outside the manual modes.
#include "vcam_internal.h"

#include <cerrno>
#include <cstring>

namespace vcam {

namespace {

// Where each UVC control of the camera sits: entity (camera terminal or
// processing unit), selector and size in bytes.
struct UvcAddress {
    bool cameraTerminal;
    uint8_t selector;
    uint8_t bytes;
};
const UvcAddress kAddress[U_COUNT] = {
    {false, 0x02, 2}, // PU_BRIGHTNESS
    {false, 0x03, 2}, // PU_CONTRAST
    {false, 0x06, 2}, // PU_HUE
    {false, 0x07, 2}, // PU_SATURATION
    {false, 0x08, 2}, // PU_SHARPNESS
    {false, 0x09, 2}, // PU_GAMMA
    {false, 0x0a, 2}, // PU_WHITE_BALANCE_TEMPERATURE
    {false, 0x0c, 4}, // PU_WHITE_BALANCE_COMPONENT
    {false, 0x01, 2}, // PU_BACKLIGHT_COMPENSATION
    {false, 0x04, 2}, // PU_GAIN
    {true, 0x02, 1},  // CT_AE_MODE
    {true, 0x04, 4},  // CT_EXPOSURE_TIME_ABSOLUTE
    {true, 0x06, 2},  // CT_FOCUS_ABSOLUTE
    {true, 0x09, 2},  // CT_IRIS_ABSOLUTE
    {true, 0x0b, 2},  // CT_ZOOM_ABSOLUTE
    {true, 0x0d, 8},  // CT_PANTILT_ABSOLUTE
    {true, 0x0f, 2},  // CT_ROLL_ABSOLUTE
};

const uint8_t kCameraGuid[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
const uint8_t kProcessingGuid[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1};

// v4l2_ctrl_get_name() knows the id: the driver takes the framework's name.
bool standardId(uint32_t id)
{
    const uint32_t cls = V4L2_CTRL_ID2CLASS(id);
    return (cls == V4L2_CTRL_CLASS_USER || cls == V4L2_CTRL_CLASS_CAMERA) && (id & 0xffff) >= 0x900 &&
           (id & 0xffff) < 0x1000;
}

} // namespace

const Mapping *UvcDriver::find(uint32_t cid) const
{
    if (const Mapping *m = findMapping(cid))
        return m;
    for (const AddedMapping &a : added)
        if (a.m.cid == cid)
            return &a.m;
    return nullptr;
}

// uvc_ioctl_xu_ctrl_map (uvc_v4l2.c) and uvc_ctrl_add_mapping (uvc_ctrl.c),
// in their order of checks.
int UvcDriver::mapControl(uvc_xu_control_mapping &x)
{
    if (!standardId(x.id) && x.name[0] == '\0')
        return EINVAL;
    if (x.data_type > UVC_CTRL_DATA_TYPE_BITMASK)
        return EINVAL;
    // Menus and buttons are not modelled.
    if (x.v4l2_type != V4L2_CTRL_TYPE_INTEGER && x.v4l2_type != V4L2_CTRL_TYPE_BOOLEAN)
        return ENOTTY;
    if (x.id & ~uint32_t(V4L2_CTRL_ID_MASK))
        return EINVAL;
    // The lookup walks the chain's extension units only (since 2.6.37); this
    // camera has none.
    int uvc = -1;
    if (mapAnyEntity) {
        for (int i = 0; i < U_COUNT; ++i) {
            const uint8_t *guid = kAddress[i].cameraTerminal ? kCameraGuid : kProcessingGuid;
            if (kAddress[i].selector == x.selector && memcmp(guid, x.entity, 16) == 0)
                uvc = i;
        }
    }
    if (uvc < 0)
        return ENOENT;
    const UvcInfo &info = uvcInfo(uvc);
    if (x.size > 32 || x.offset + x.size > kAddress[uvc].bytes * 8)
        return EINVAL;
    // Fields of the two-field controls: 32 bits each for PANTILT, 16 for
    // WB_COMPONENT. Other slices of a control are not modelled.
    const int fieldBits = info.fields > 1 ? kAddress[uvc].bytes * 8 / 2 : kAddress[uvc].bytes * 8;
    if (x.offset % fieldBits != 0 || x.size > fieldBits)
        return EINVAL;
    for (const AddedMapping &a : added)
        if (a.m.cid == x.id && a.m.uvc == uvc)
            return EEXIST;
    for (const Mapping &m : mappings())
        if (m.cid == x.id && m.uvc == uvc)
            return EEXIST;
    AddedMapping a;
    a.name = standardId(x.id) && x.id == V4L2_CID_ROTATE
                 ? "Rotate"
                 : std::string(reinterpret_cast<const char *>(x.name), strnlen(reinterpret_cast<const char *>(x.name), sizeof x.name));
    a.m = {x.id, nullptr, uvc, x.offset / fieldBits, x.v4l2_type, x.data_type == UVC_CTRL_DATA_TYPE_SIGNED};
    added.push_back(std::move(a));
    added.back().m.name = added.back().name.c_str();
    return 0;
}

// UVC: an exposure time in Auto or Aperture Priority mode stalls with
// "wrong state", which uvcvideo reports as EILSEQ (later kernels: EACCES).
int Firmware::refusesSet(int uvc)
{
    if (uvc != U_EXPOSURE_ABS)
        return 0;
    const int32_t mode = cur[U_AE_MODE][0];
    if (mode != 2 && mode != 8)
        return 0;
    ++violations[VCAM_V_EXPOSURE_IN_AUTO];
    traceLine("cam%d VIOLATION exposure_in_auto (auto-exposure mode %d): stalled", camera, mode);
    writeState();
    return EILSEQ;
}

} // namespace vcam

extern "C" void vcam_set_map_any_entity(int camera, int on)
{
    vcam::Registry &r = vcam::registry();
    std::lock_guard<std::mutex> lk(r.lock);
    if (camera >= 0 && camera < int(r.cameras.size()))
        r.cameras[size_t(camera)]->uvc.mapAnyEntity = on != 0;
}
