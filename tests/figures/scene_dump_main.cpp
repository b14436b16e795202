/* Writes the source dump of the built-in scene to the file named by its one
 * argument; the replay test compiles that text. */
#include <stdio.h>

#include "figures/polygon.h"
#include "figures/scene.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    polygon *polys = nullptr;
    if (!BuildScene(&polys)) {
        fprintf(stderr, "%s: the scene could not be built\n", argv[0]);
        return 1;
    }
    FILE *out = fopen(argv[1], "w");
    if (!out) {
        perror(argv[1]);
        delete polys;
        return 1;
    }
    polys->dump(out);
    const bool ok = ferror(out) == 0;
    delete polys;
    return fclose(out) == 0 && ok ? 0 : 1;
}
