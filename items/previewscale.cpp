#include "items/previewscale.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VEXLO_PREVIEW_SCALE_AVX2
#include <immintrin.h>
#endif

#include <cstdint>
#include <vector>

#ifdef VEXLO_PREVIEW_SCALE_AVX2
namespace {

// Qt's area-averaging taps along one axis when `to` < `from` pixels: output
// pixel i starts at source pixel (i * step) >> 16 and weighs up to four source
// pixels, in 1/16384ths, summing to 16384. Returns false when a pixel needs
// more taps or a tap lies outside the source.
struct Taps
{
    int first;
    int count;
    std::int16_t weight[4];
};

bool tapsFor(int from, int to, std::vector<Taps> *taps)
{
    const std::int64_t step = (std::int64_t(from) << 16) / to;
    const int unit = ((to << 14) + from - 1) / from;
    taps->resize(std::size_t(to));
    std::int64_t position = 0;
    for (Taps &t : *taps) {
        t.first = int(position >> 16);
        const int lead = int(((0x10000 - (position & 0xffff)) * unit) >> 16);
        t.count = 0;
        t.weight[t.count++] = std::int16_t(lead);
        int rest = (1 << 14) - lead;
        for (; rest > unit; rest -= unit) {
            if (t.count == 3)
                return false;
            t.weight[t.count++] = std::int16_t(unit);
        }
        t.weight[t.count++] = std::int16_t(rest);
        if (t.first + t.count > from)
            return false;
        position += step;
    }
    return true;
}

// Per pair of output pixels: where the four source pixels of each start, and
// their weights as 16-bit pairs (pixels 0 and 1, pixels 2 and 3), the first
// output pixel in the low half.
struct PairPass
{
    int start[2];
    std::int32_t weights01[8];
    std::int32_t weights23[8];
};

// One source row's horizontal sums, shifted right by four as Qt does before
// weighing rows: four 32-bit channel sums (b, g, r, a) per output pixel.
__attribute__((target("avx2"))) void sumRow(const std::uint32_t *row, const char *next, const std::vector<PairPass> &passes,
                                            std::uint32_t *sums)
{
    // Spreads four BGRA pixels into 16-bit pairs of the same channel of
    // pixels 0 and 1 (low) and 2 and 3 (high), for one multiply-add each.
    const __m256i low = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1));
    const __m256i high = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1));
    for (const PairPass &p : passes) {
        // The next row is fetched while this one is summed: the frame was
        // written on another core, out of this one's caches.
        _mm_prefetch(next + 4 * p.start[0], _MM_HINT_T0);
        const __m256i pixels = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(row + p.start[0]))),
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + p.start[1])), 1);
        const __m256i sum = _mm256_add_epi32(
            _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, low),
                              _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p.weights01))),
            _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, high),
                              _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p.weights23))));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(sums), _mm256_srli_epi32(sum, 4));
        sums += 8;
    }
}

// One pair of output pixels from `Count` rows of sums, as Qt weighs rows: each
// sum times the row's weight, added up, shifted right by 24.
template <int Count>
__attribute__((target("avx2"))) inline __m256i weighPair(const std::uint32_t *const *rows, const __m256i *weights,
                                                         int x)
{
    __m256i sum = _mm256_setzero_si256();
    for (int i = 0; i < Count; ++i)
        sum = _mm256_add_epi32(
            sum, _mm256_mullo_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(rows[i] + 4 * x)),
                                    weights[i]));
    return _mm256_srli_epi32(sum, 24);
}

// A row of `width` opaque pixels; the rows of sums hold an even number of
// pixels. Four pixels are done at a time.
template <int Count>
__attribute__((target("avx2"))) void weighRows(const std::uint32_t *const *rows, const std::int16_t *weight,
                                               int width, std::uint32_t *out)
{
    __m256i weights[Count];
    for (int i = 0; i < Count; ++i)
        weights[i] = _mm256_set1_epi32(weight[i]);
    // Packing two pairs leaves the pixels in the order 0, 2, 1, 3 (by lane).
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m128i opaque = _mm_set1_epi32(int(0xff000000u));
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m256i packed = _mm256_packus_epi32(weighPair<Count>(rows, weights, x),
                                                    weighPair<Count>(rows, weights, x + 2));
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(packed, packed), order);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x),
                         _mm_or_si128(_mm256_castsi256_si128(bytes), opaque));
    }
    for (; x < width; x += 2) {
        __m256i sum = weighPair<Count>(rows, weights, x);
        sum = _mm256_packus_epi16(_mm256_packus_epi32(sum, sum), sum);
        out[x] = std::uint32_t(_mm256_extract_epi32(sum, 0)) | 0xff000000u;
        if (x + 1 < width)
            out[x + 1] = std::uint32_t(_mm256_extract_epi32(sum, 4)) | 0xff000000u;
    }
}

// The whole scaling into `scaled`, or false when Qt's scaling is needed.
__attribute__((target("avx2"))) bool scaleInto(const QImage &image, QImage &scaled)
{
    const int width = scaled.width();
    const int height = scaled.height();
    std::vector<Taps> columns;
    std::vector<Taps> lines;
    if (image.width() < 4 || !tapsFor(image.width(), width, &columns) || !tapsFor(image.height(), height, &lines))
        return false;
    // An odd width repeats the last pixel in the last pair.
    std::vector<PairPass> passes(std::size_t(width + 1) / 2);
    for (int x = 0; x < 2 * int(passes.size()); ++x) {
        // Four pixels are read from `start`; at the right edge the window
        // moves left and the weights move with it.
        const Taps &c = columns[std::size_t(std::min(x, width - 1))];
        const int start = std::min(c.first, image.width() - 4);
        std::uint16_t w[4] = {0, 0, 0, 0};
        for (int i = 0; i < c.count; ++i)
            w[c.first - start + i] = std::uint16_t(c.weight[i]);
        PairPass &p = passes[std::size_t(x / 2)];
        p.start[x % 2] = start;
        for (int i = 4 * (x % 2); i < 4 * (x % 2) + 4; ++i) {
            p.weights01[i] = std::int32_t(w[0] | std::uint32_t(w[1]) << 16);
            p.weights23[i] = std::int32_t(w[2] | std::uint32_t(w[3]) << 16);
        }
    }
    // The sums of the last four source rows, by row number modulo four: an
    // output row reads at most four consecutive rows, and output rows move
    // down the source.
    const std::size_t rowSize = 8 * passes.size();
    std::vector<std::uint32_t> sums(4 * rowSize);
    int summed[4] = {-1, -1, -1, -1};
    for (int y = 0; y < height; ++y) {
        const Taps &l = lines[std::size_t(y)];
        const std::uint32_t *rows[4];
        for (int i = 0; i < l.count; ++i) {
            const int row = l.first + i;
            std::uint32_t *slot = sums.data() + std::size_t(row % 4) * rowSize;
            if (summed[row % 4] != row) {
                // The last row fetches itself again.
                const int next = std::min(row + 1, image.height() - 1);
                sumRow(reinterpret_cast<const std::uint32_t *>(image.constScanLine(row)),
                       reinterpret_cast<const char *>(image.constScanLine(next)), passes, slot);
                summed[row % 4] = row;
            }
            rows[i] = slot;
        }
        auto *out = reinterpret_cast<std::uint32_t *>(scaled.scanLine(y));
        (l.count == 1   ? weighRows<1>
         : l.count == 2 ? weighRows<2>
         : l.count == 3 ? weighRows<3>
                        : weighRows<4>)(rows, l.weight, width, out);
    }
    return true;
}

} // namespace
#endif

QImage previewScaled(const QImage &image, const QSize &size)
{
#ifdef VEXLO_PREVIEW_SCALE_AVX2
    if (image.format() == QImage::Format_RGB32 && __builtin_cpu_supports("avx2") && !size.isEmpty()
        && size.width() < image.width() && size.height() < image.height()) {
        QImage scaled(size, QImage::Format_RGB32);
        if (scaled.isNull() || scaleInto(image, scaled))
            return scaled;
    }
#endif
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
