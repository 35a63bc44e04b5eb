#include "camera/devicesource.h"

#include <QString>

#include <windows.h>
#include <dshow.h>

namespace {

// Reads one string property of a device's property bag; false when the bag has
// no such property or it is not a string.
bool readString(IPropertyBag *bag, const wchar_t *property, VARIANT *value, QString *text)
{
    if (FAILED(bag->Read(property, value, nullptr)))
        return false;
    if (value->vt == VT_BSTR && value->bstrVal)
        *text = QString::fromWCharArray(value->bstrVal, int(SysStringLen(value->bstrVal)));
    return true;
}

// The DirectShow system device enumerator: the video-input devices in the order
// in which OpenCV's DirectShow backend numbers cameras.
class DirectShowDeviceSource : public DeviceSource
{
public:
    std::vector<DeviceRecord> list() override
    {
        std::vector<DeviceRecord> records;
        // COM stays initialised on this thread afterwards; the result (already
        // initialised, other apartment) does not matter for the enumerator.
        CoInitialize(nullptr);

        ICreateDevEnum *devEnum = nullptr;
        if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_ICreateDevEnum, reinterpret_cast<void **>(&devEnum))))
            return records;

        IEnumMoniker *monikers = nullptr;
        // An empty category gives S_FALSE and no enumerator.
        if (devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK) {
            devEnum->Release();
            return records;
        }

        IMoniker *moniker = nullptr;
        while (monikers->Next(1, &moniker, nullptr) == S_OK) {
            DeviceRecord record;
            IPropertyBag *bag = nullptr;
            if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                              reinterpret_cast<void **>(&bag)))) {
                moniker->Release();
                record.readable = false;
                records.push_back(record);
                continue;
            }

            VARIANT name;
            VARIANT path;
            VariantInit(&name);
            VariantInit(&path);
            bool named = readString(bag, L"FriendlyName", &name, &record.name);
            if (!named) {
                VariantClear(&name);
                VariantInit(&name);
                named = readString(bag, L"Description", &name, &record.name);
            }
            if (named && !readString(bag, L"DevicePath", &path, &record.path))
                record.path.clear();
            if (!named)
                record.name.clear();
            records.push_back(record);

            VariantClear(&name);
            VariantClear(&path);
            bag->Release();
            moniker->Release();
        }

        monikers->Release();
        devEnum->Release();
        return records;
    }
};

} // namespace

std::unique_ptr<DeviceSource> createPlatformDeviceSource()
{
    return std::make_unique<DirectShowDeviceSource>();
}
