#include "tunnel/cameracontrol.h"

#include "settings/settingsstore.h"
#include "tunnel/paramtunnel.h"

#include <cstring>

namespace {
// The camera needs this long after each store command before exit.
const unsigned long StoreSettleMs = 500;
} // namespace

bool ControlOutcome::failed() const
{
    for (const ControlCall &c : calls) {
        if (c.failed)
            return true;
    }
    return false;
}

QString ControlOutcome::reason() const
{
    for (const ControlCall &c : calls) {
        if (c.failed) {
            const QString why = c.error ? QString::fromLocal8Bit(std::strerror(c.error)) : QStringLiteral("refused");
            return ParamTunnel::controlName(c.propId) + QStringLiteral(": ") + why;
        }
    }
    return QString();
}

CameraControl::CameraControl(CameraLink *camera, SettingsStore *settings, ParamTunnel *tunnel)
    : m_camera(camera)
    , m_settings(settings)
    , m_tunnel(tunnel)
{
    qRegisterMetaType<ControlOutcome>();
    start();
}

CameraControl::~CameraControl()
{
    stop();
}

void CameraControl::post(Op op)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_stopping)
        return;
    if (op.key >= 0) {
        for (Op &queued : m_queue) {
            if (queued.kind == op.kind && queued.key == op.key) {
                queued = std::move(op);
                return;
            }
        }
    }
    m_queue.push_back(std::move(op));
    m_wake.notify_one();
}

void CameraControl::postWrite(int key, int row, Body body)
{
    post({ControlOutcome::Write, key, row, std::move(body)});
}

void CameraControl::postSync(bool restoreDefaults)
{
    post({restoreDefaults ? ControlOutcome::Restore : ControlOutcome::Sync, -1, -1,
          [this, restoreDefaults](ControlOutcome &) {
              // The priming pass sends the old values; only then are the
              // defaults stored, so that the full write sends them.
              m_tunnel->primeAll(*m_camera, *m_settings, &m_cancelBulk);
              if (restoreDefaults)
                  m_settings->restoreDefaults();
              m_tunnel->syncAll(*m_camera, *m_settings, &m_cancelBulk);
          }});
}

void CameraControl::postStore(bool beforeExit)
{
    post({beforeExit ? ControlOutcome::StoreBeforeExit : ControlOutcome::Store, -1, -1,
          [this, beforeExit](ControlOutcome &) {
              for (int i = 0; i < (beforeExit ? 2 : 1); ++i) {
                  m_tunnel->storeToCamera(*m_camera);
                  if (beforeExit)
                      m_tunnel->pause(StoreSettleMs);
              }
          }});
}

void CameraControl::postReadBack()
{
    if (pending(ControlOutcome::ReadBack))
        return;
    post({ControlOutcome::ReadBack, -1, -1,
          [this](ControlOutcome &outcome) { outcome.text = m_tunnel->readDebugInfo(*m_camera); }});
}

void CameraControl::postOpen(int id, std::vector<int> size)
{
    post({ControlOutcome::Open, -1, -1, [this, id, size = std::move(size)](ControlOutcome &outcome) {
              outcome.opened = m_camera->camOpen(id, size);
          }});
}

void CameraControl::postClose()
{
    post({ControlOutcome::Close, -1, -1, [this](ControlOutcome &) { m_camera->camClose(); }});
}

bool CameraControl::pending(ControlOutcome::Kind kind) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_running && m_runningKind == kind)
        return true;
    for (const Op &op : m_queue) {
        if (op.kind == kind)
            return true;
    }
    return false;
}

bool CameraControl::idle() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return !m_running && m_queue.empty();
}

void CameraControl::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = true;
        m_cancelBulk = true;
        m_queue.clear();
        m_wake.notify_one();
    }
    wait();
    (void)m_runEnded.load(std::memory_order_acquire);
}

bool CameraControl::stopping() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_stopping;
}

void CameraControl::run()
{
    for (;;) {
        Op op;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) {
                m_runEnded.store(true, std::memory_order_release);
                return;
            }
            op = std::move(m_queue.front());
            m_queue.pop_front();
            m_running = true;
            m_runningKind = op.kind;
        }
        ControlOutcome outcome;
        outcome.kind = op.kind;
        outcome.key = op.key;
        outcome.row = op.row;
        {
            ControlRecorder recorder;
            op.body(outcome);
            outcome.calls = recorder.calls();
        }
        emit done(outcome);
        std::lock_guard<std::mutex> lock(m_lock);
        m_running = false;
    }
}
