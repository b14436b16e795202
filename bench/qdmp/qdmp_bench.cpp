/* Throughput of the drawing library's bulk paths on 1024 x 768 maps.
 * Bytes/s counts the bytes of the map written (fills, copies) or of the
 * source read (reduction); items/s counts pixels. Run the anchors and the
 * library in one run and compare like with like:
 *   Fill_Rect{32,16,8}   vs Memset/{4,2,1}        (bytes/s)
 *   Copy_Rect32          vs Memcpy                (bytes/s)
 *   Copy_Rect32A         vs PixmanOver            (items/s, pixels)
 *   DownMip32A           vs Memcpy                (bytes/s of source) */
#include "qdmp/include/qdmp.h"

#include <benchmark/benchmark.h>

#if QDMP_BENCH_PIXMAN
#include <pixman.h>
#endif

#include <cstring>
#include <random>

namespace {

constexpr int kWidth = 1024, kHeight = 768;
const Rect kBounds{0, 0, kHeight, kWidth};

struct Map {
    explicit Map(SInt16 depth, const Rect &bounds = kBounds) : pm(QVPixMap_New(&bounds, depth, 0, nullptr)) {}
    ~Map() { QVPixMap_Dispose(pm); }
    Map(const Map &) = delete;
    Map &operator=(const Map &) = delete;
    char *base() const { return (*pm)->baseAddr; }
    size_t bytes() const
    {
        return static_cast<size_t>((*pm)->rowBytes) * static_cast<size_t>((*pm)->bounds.bottom - (*pm)->bounds.top);
    }
    PixMapHandle pm;
};

/* Random pixels; a quarter fully transparent and a quarter opaque, so
 * blends cannot take a short cut on uniform coverage. */
void fill_random(Map &m)
{
    std::mt19937 rng(42);
    auto *p = reinterpret_cast<UInt32 *>(m.base());
    for (size_t i = 0; i < m.bytes() / 4; ++i) {
        UInt32 x = rng();
        if (i % 4 == 1)
            x &= 0x00FFFFFF;
        else if (i % 4 == 2)
            x |= 0xFF000000;
        p[i] = x;
    }
}

void set_counters(benchmark::State &state, size_t bytes, size_t pixels)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pixels));
}

constexpr size_t kPixels = static_cast<size_t>(kWidth) * kHeight;

void Memset(benchmark::State &state)
{
    const size_t bytes = kPixels * static_cast<size_t>(state.range(0));
    Map m(32);
    for (auto _ : state) {
        std::memset(m.base(), 0x5A, bytes);
        benchmark::ClobberMemory();
    }
    set_counters(state, bytes, kPixels);
}
BENCHMARK(Memset)->Arg(4)->Arg(2)->Arg(1);

void Fill_Rect32(benchmark::State &state)
{
    Map m(32);
    for (auto _ : state) {
        QDMP_Fill_Rect32(m.pm, kBounds, 0x12345678);
        benchmark::ClobberMemory();
    }
    set_counters(state, kPixels * 4, kPixels);
}
BENCHMARK(Fill_Rect32);

void Fill_Rect16(benchmark::State &state)
{
    Map m(16);
    for (auto _ : state) {
        QDMP_Fill_Rect16(m.pm, kBounds, 0x1234);
        benchmark::ClobberMemory();
    }
    set_counters(state, kPixels * 2, kPixels);
}
BENCHMARK(Fill_Rect16);

void Fill_Rect8(benchmark::State &state)
{
    Map m(8);
    for (auto _ : state) {
        QDMP_Fill_Rect8(m.pm, kBounds, 0x5A);
        benchmark::ClobberMemory();
    }
    set_counters(state, kPixels, kPixels);
}
BENCHMARK(Fill_Rect8);

void Memcpy(benchmark::State &state)
{
    Map src(32), dst(32);
    fill_random(src);
    for (auto _ : state) {
        std::memcpy(dst.base(), src.base(), src.bytes());
        benchmark::ClobberMemory();
    }
    set_counters(state, src.bytes(), kPixels);
}
BENCHMARK(Memcpy);

void Copy_Rect32(benchmark::State &state)
{
    Map src(32), dst(32);
    fill_random(src);
    for (auto _ : state) {
        QDMP_Copy_Rect32(src.pm, dst.pm, &kBounds, &kBounds);
        benchmark::ClobberMemory();
    }
    set_counters(state, src.bytes(), kPixels);
}
BENCHMARK(Copy_Rect32);

void Copy_Rect32A(benchmark::State &state)
{
    Map src(32), dst(32);
    fill_random(src);
    fill_random(dst);
    for (auto _ : state) {
        QDMP_Copy_Rect32A(src.pm, dst.pm, &kBounds, &kBounds);
        benchmark::ClobberMemory();
    }
    set_counters(state, src.bytes(), kPixels);
}
BENCHMARK(Copy_Rect32A);

void DownMip32A(benchmark::State &state)
{
    Map src(32), dst(32, Rect{0, 0, kHeight / 2, kWidth / 2});
    fill_random(src);
    for (auto _ : state) {
        QDMP_DownMip32A(src.pm, dst.pm);
        benchmark::ClobberMemory();
    }
    set_counters(state, src.bytes(), kPixels);
}
BENCHMARK(DownMip32A);

#if QDMP_BENCH_PIXMAN
pixman_image_t *wrap(Map &m)
{
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, reinterpret_cast<uint32_t *>(m.base()),
                                    (*m.pm)->rowBytes);
}

void PixmanFill32(benchmark::State &state)
{
    Map m(32);
    for (auto _ : state) {
        pixman_fill(reinterpret_cast<uint32_t *>(m.base()), (*m.pm)->rowBytes / 4, 32, 0, 0, kWidth, kHeight,
                    0x12345678);
        benchmark::ClobberMemory();
    }
    set_counters(state, kPixels * 4, kPixels);
}
BENCHMARK(PixmanFill32);

void PixmanBlt32(benchmark::State &state)
{
    Map src(32), dst(32);
    fill_random(src);
    for (auto _ : state) {
        pixman_blt(reinterpret_cast<uint32_t *>(src.base()), reinterpret_cast<uint32_t *>(dst.base()),
                   (*src.pm)->rowBytes / 4, (*dst.pm)->rowBytes / 4, 32, 32, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    set_counters(state, src.bytes(), kPixels);
}
BENCHMARK(PixmanBlt32);

void PixmanOver(benchmark::State &state)
{
    Map src(32), dst(32);
    fill_random(src);
    fill_random(dst);
    pixman_image_t *s = wrap(src), *d = wrap(dst);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    set_counters(state, src.bytes(), kPixels);
}
BENCHMARK(PixmanOver);
#endif

} // namespace

BENCHMARK_MAIN();
