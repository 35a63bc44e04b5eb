#include "backend/panelsync.h"

#include <algorithm>

PanelSync::PanelSync(int rows)
    : m_written(size_t(rows), false)
{
}

bool PanelSync::set(bool onCamera)
{
    const bool changed = onCamera != m_onCamera;
    m_onCamera = onCamera;
    return changed;
}

bool PanelSync::cameraOpened()
{
    std::fill(m_written.begin(), m_written.end(), false);
    return set(false);
}

bool PanelSync::rowWritten(int row)
{
    if (row < 0 || size_t(row) >= m_written.size() || m_onCamera)
        return false;
    m_written[size_t(row)] = true;
    return set(std::all_of(m_written.begin(), m_written.end(), [](bool w) { return w; }));
}

bool PanelSync::allSent()
{
    return set(true);
}
