/* Throughput of the drawing library's bulk paths on 1024 x 768 maps, each
 * beside its anchor (compare like with like in one run):
 *   Fill_Rect/{32,16,8}  vs Memset/{4,2,1}   bytes/s of the map written
 *   Copy_Rect32          vs Memcpy           bytes/s of the map written
 *   Copy_Rect32A         vs PixmanOver       items/s (pixels), where pixman is installed
 *   DownMip32A           vs Memcpy           bytes/s of the source read */
#include "qdmp/include/qdmp.h"

#include <benchmark/benchmark.h>

#if QDMP_BENCH_PIXMAN
#include <pixman.h>
#endif

#include <cstring>
#include <random>

namespace {

constexpr int kWidth = 1024, kHeight = 768;
constexpr size_t kPixels = size_t{kWidth} * kHeight;
const Rect kBounds{0, 0, kHeight, kWidth};

/* A map from the platform's maker; random pixels, a quarter of them fully
 * transparent and a quarter opaque, so blends cannot take a short cut. */
struct Map {
    explicit Map(SInt16 depth, const Rect &bounds = kBounds) : pm(QVPixMap_New(&bounds, depth, 0, nullptr))
    {
        std::mt19937 rng(42);
        auto *p = reinterpret_cast<UInt32 *>(base());
        for (size_t i = 0; i < bytes() / 4; ++i)
            p[i] = i % 4 == 1 ? rng() & 0x00FFFFFF : i % 4 == 2 ? rng() | 0xFF000000 : rng();
    }
    ~Map() { QVPixMap_Dispose(pm); }
    Map(const Map &) = delete;
    Map &operator=(const Map &) = delete;
    char *base() const { return (*pm)->baseAddr; }
    size_t bytes() const { return size_t((*pm)->rowBytes) * size_t((*pm)->bounds.bottom - (*pm)->bounds.top); }
    PixMapHandle pm;
};

void count(benchmark::State &state, size_t bytes)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kPixels));
}

void Memset(benchmark::State &state)
{
    Map m(32);
    const size_t bytes = kPixels * size_t(state.range(0));
    for (auto _ : state) {
        std::memset(m.base(), 0x5A, bytes);
        benchmark::ClobberMemory();
    }
    count(state, bytes);
}
BENCHMARK(Memset)->Arg(4)->Arg(2)->Arg(1);

void Fill_Rect(benchmark::State &state)
{
    const auto depth = SInt16(state.range(0));
    Map m(depth);
    for (auto _ : state) {
        if (depth == 32)
            QDMP_Fill_Rect32(m.pm, kBounds, 0x12345678);
        else if (depth == 16)
            QDMP_Fill_Rect16(m.pm, kBounds, 0x1234);
        else
            QDMP_Fill_Rect8(m.pm, kBounds, 0x5A);
        benchmark::ClobberMemory();
    }
    count(state, m.bytes());
}
BENCHMARK(Fill_Rect)->Arg(32)->Arg(16)->Arg(8);

void Memcpy(benchmark::State &state)
{
    Map src(32), dst(32);
    for (auto _ : state) {
        std::memcpy(dst.base(), src.base(), src.bytes());
        benchmark::ClobberMemory();
    }
    count(state, src.bytes());
}
BENCHMARK(Memcpy);

void Copy_Rect32(benchmark::State &state)
{
    Map src(32), dst(32);
    for (auto _ : state) {
        QDMP_Copy_Rect32(src.pm, dst.pm, &kBounds, &kBounds);
        benchmark::ClobberMemory();
    }
    count(state, src.bytes());
}
BENCHMARK(Copy_Rect32);

void Copy_Rect32A(benchmark::State &state)
{
    Map src(32), dst(32);
    for (auto _ : state) {
        QDMP_Copy_Rect32A(src.pm, dst.pm, &kBounds, &kBounds);
        benchmark::ClobberMemory();
    }
    count(state, src.bytes());
}
BENCHMARK(Copy_Rect32A);

void DownMip32A(benchmark::State &state)
{
    Map src(32), dst(32, Rect{0, 0, kHeight / 2, kWidth / 2});
    for (auto _ : state) {
        QDMP_DownMip32A(src.pm, dst.pm);
        benchmark::ClobberMemory();
    }
    count(state, src.bytes());
}
BENCHMARK(DownMip32A);

#if QDMP_BENCH_PIXMAN
/* pixman's OVER composite of the same maps: the yardstick for the blend. */
void PixmanOver(benchmark::State &state)
{
    Map src(32), dst(32);
    const auto wrap = [](Map &m) {
        return pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, reinterpret_cast<uint32_t *>(m.base()),
                                        (*m.pm)->rowBytes);
    };
    pixman_image_t *s = wrap(src), *d = wrap(dst);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    count(state, src.bytes());
}
BENCHMARK(PixmanOver);
#endif

} // namespace

BENCHMARK_MAIN();
