#include "camera/streamformat.h"

QString describeStream(const CameraLink::StreamFormat &got, const std::vector<int> &asked, const QString &askedName)
{
    if (got.width <= 0 || asked.size() < 6)
        return askedName;
    const char code[4] = {char(got.fourcc & 0xFF), char(got.fourcc >> 8 & 0xFF), char(got.fourcc >> 16 & 0xFF),
                          char(got.fourcc >> 24 & 0xFF)};
    const QString format = got.fourcc ? QString::fromLatin1(code, 4).trimmed() : QString();
#ifdef _WIN32
    const bool sameFormat = true; // the link asks no format there
#else
    const bool sameFormat = format.isEmpty() || format == QLatin1String("MJPG");
#endif
    const bool sameRate = got.fps <= 0 || got.fps == asked[5];
    if (got.width == asked[1] && got.height == asked[3] && sameRate && sameFormat)
        return askedName;
    QString text = QStringLiteral("%1×%2").arg(got.width).arg(got.height);
    if (!format.isEmpty())
        text += QLatin1Char(' ') + format;
    if (!sameRate)
        text += QStringLiteral(" %1FPS").arg(got.fps);
    return text + QStringLiteral(" (asked %1)").arg(askedName);
}
