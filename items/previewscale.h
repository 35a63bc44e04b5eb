#pragma once

#include <QImage>
#include <QSize>

// The preview's smooth downscale: the same pixels as QImage::scaled(size,
// Qt::IgnoreAspectRatio, Qt::SmoothTransformation), computed on the calling
// thread alone. Qt's area averaging sums each source row's horizontal taps
// afresh for every output row that covers it and spreads a frame over its
// thread pool; here each source row is summed once, without branching on the
// tap count, two output pixels at a time. Covers an opaque RGB32 image shrunk
// in both directions by less than three, on an x86 processor with AVX2;
// anything else, and a build for another compiler or processor, goes to
// QImage::scaled.
QImage previewScaled(const QImage &image, const QSize &size);
