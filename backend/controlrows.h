#pragma once

#include <QStringList>

class CameraLink;

// The window's rows whose writes reach no control of the open camera (the
// driver lacks the control behind them), by the backend property each row
// writes (the property column of its parameter). Empty while no camera is open.
QStringList rowsWithoutControl(const CameraLink &camera);
