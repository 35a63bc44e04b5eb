// Wall time of the tunnel's operations, against a capture object that
// answers at once and, when built with it, against the virtual camera.
//
//   build/bench/tunnel/bench_tunnel
//
// Targets: a full sync within 1.6 s + 10 %, a single tunnelled write within
// 100 ms + 10 ms.

#include "camera/cameralink.h"
#include "camera/devicesource.h"
#include "settings/settingsstore.h"
#include "tunnel/paramtunnel.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <opencv2/videoio.hpp>

#include <cstdlib>
#include <memory>

namespace {

class InstantCapture : public cv::VideoCapture
{
public:
    using cv::VideoCapture::open;
    bool isOpened() const override { return true; }
    bool set(int, double) override { return true; }
    double get(int) const override { return 0; }
};

class NoDevices : public DeviceSource
{
public:
    std::vector<DeviceRecord> list() override { return {}; }
};

struct Setup
{
    Setup()
    {
        qputenv("HOME", home.path().toLocal8Bit());
        store = std::make_unique<SettingsStore>();
        instant = std::make_unique<CameraLink>(std::make_unique<InstantCapture>(), std::make_unique<NoDevices>());
#ifdef VEXLO_BENCH_VCAM
        vcam = std::make_unique<CameraLink>();
        if (!vcam->camOpen(0, tunnel.previewSettings(1)))
            vcam.reset();
#endif
    }

    CameraLink *link(int which) { return which == 0 ? instant.get() : vcam.get(); }

    QTemporaryDir home;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<CameraLink> instant;
    std::unique_ptr<CameraLink> vcam;
    ParamTunnel tunnel;
};

Setup *setup = nullptr;

// range(0): 0 the instant capture object, 1 the virtual camera.
bool pick(benchmark::State &state, CameraLink **link)
{
    *link = setup->link(int(state.range(0)));
    if (!*link) {
        state.SkipWithError("no virtual camera");
        return false;
    }
    state.SetLabel(state.range(0) == 0 ? "instant" : "vcam");
    return true;
}

void BM_SyncAll(benchmark::State &state)
{
    CameraLink *link = nullptr;
    if (!pick(state, &link))
        return;
    for (auto _ : state)
        setup->tunnel.syncAll(*link, *setup->store);
}

void BM_SingleWrite(benchmark::State &state)
{
    CameraLink *link = nullptr;
    if (!pick(state, &link))
        return;
    int iso = 0;
    for (auto _ : state)
        setup->tunnel.setIso(++iso % 14, *link, *setup->store);
}

void BM_SaturationWrite(benchmark::State &state)
{
    CameraLink *link = nullptr;
    if (!pick(state, &link))
        return;
    int saturation = 0;
    for (auto _ : state)
        setup->tunnel.setSaturation(++saturation % 11, *link, *setup->store);
}

void BM_ReadDebugInfo(benchmark::State &state)
{
    CameraLink *link = nullptr;
    if (!pick(state, &link))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(setup->tunnel.readDebugInfo(*link));
}

BENCHMARK(BM_SyncAll)->Arg(0)->Arg(1)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SingleWrite)->Arg(0)->Arg(1)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaturationWrite)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadDebugInfo)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Setup s;
    setup = &s;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    setup = nullptr;
    return 0;
}
