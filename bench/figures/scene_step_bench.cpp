/* One frame's scene step on the built-in scene, as the renderer runs it:
 * move, rotate, spring step, ties. The drift and fall bounce between bounds
 * as they do in the renderer, so the scene stays in view however long the
 * benchmark runs. */
#include <benchmark/benchmark.h>

#include "figures/polygon.h"
#include "figures/scene.h"

namespace {

void SceneStep(benchmark::State &state)
{
    polygon *polys = nullptr;
    if (!BuildScene(&polys)) {
        state.SkipWithError("the scene could not be built");
        return;
    }
    float posX = -2.0f, posY = 3.0f, velX = 0.03f, velY = 0.0f, spin = 0.002f;
    for (auto _ : state) {
        polys->move(velX, velY);
        polys->rotate(spin);
        posX += velX;
        posY += velY;
        if (posX < -4.0f || posX > 4.0f)
            velX = -velX;
        if (posY < 0.0f) {
            spin = -spin;
            velY = -velY;
        } else {
            velY = float(velY - 0.001);
        }
        polys->updateVtx();
        polys->follow();
        benchmark::DoNotOptimize(polys->vtx[0].x);
    }
    benchmark::ClobberMemory();
    delete polys;
}
BENCHMARK(SceneStep)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
