/* One figure of the scene: an open chain of at most max_vtx vertices drawn as
 * one flat-coloured triangle strip, with the state of its spring simulation.
 *
 * Figures form a singly linked list through `next`; each figure owns the one
 * behind it, so destroying the head destroys the whole list, tail first.
 * List-wide operations (calcDists, updateVtx, follow, move(dx, dy),
 * rotatepriv, draw, dump) are called on a figure and first recurse into
 * `next`: they treat the figures from the tail up to the one called on, which
 * is construction order when figures are pushed at the head as they are built.
 * The others act on one figure only.
 *
 * Positions are world units (+y up); velocities are world units per step.
 * Single-precision storage: each step constant is applied in double precision
 * and the result stored back as float, so runs are reproducible bit for bit.
 * Used on one thread at a time; no locks. */
#ifndef QV_FIGURES_POLYGON_H
#define QV_FIGURES_POLYGON_H

#include <stdio.h>

#include "platform/export.h"

class QV_EXPORT polygon {
public:
    static constexpr int max_vtx = 50;

    struct vertex {
        int dynamic;         /* non-zero: simulated; zero: pinned (a boolean in a 32-bit word) */
        polygon *followPoly; /* tie target, not owned; null when not tied */
        int followIdx;       /* tied to the midpoint of followPoly's vertices k, k + 1 */
        float x, y;          /* position */
        float vx, vy;        /* velocity per step */
        float dist[5];       /* rest distance to the neighbour at chain offset o, at o + 2;
                                [2] is never used; set by calcDists for simulated vertices */
    };

    /* Empty, opaque red (1, 0, 0, 1), no successor. */
    polygon();
    /* Destroys `next` and everything behind it. A figure in the middle of a
     * list must be unlinked before it is destroyed. */
    ~polygon();
    polygon(const polygon &) = delete;
    polygon &operator=(const polygon &) = delete;

    /* Appends a vertex at rest and untied; returns its index, or -1 (and
     * changes nothing) when the figure already holds max_vtx vertices. */
    int add(float x, float y, bool dynamic);
    /* Drops the last vertex, if any; its slot is reused by the next add. */
    void rmlast();
    /* List-wide: records the current distances of every simulated vertex to
     * its chain neighbours at offsets -2, -1, +1, +2 as their rest lengths. */
    void calcDists();

    /* Ties vertex i to the midpoint of target's vertices k and k + 1; a null
     * target unties it. Ignored when i is not a vertex of this figure. k is
     * checked against the target at each follow, since the target may change.
     * The target must outlive the tie. */
    void setFollow(int i, polygon *target, int k);
    /* List-wide: puts every tied vertex on its target midpoint. A tie whose
     * pair k, k + 1 is not within the target's vertices is left alone. */
    void follow();
    /* List-wide: one step of the spring simulation (damping, springs, motion,
     * lift). Needs calcDists to have run since the last add. */
    void updateVtx();

    /* List-wide: pinned vertices move by (dx, dy), simulated ones by half. */
    void move(float dx, float dy);
    /* Sets vertex i's position; ignored when i is not a vertex of this figure. */
    void move(int i, float x, float y);
    /* List-wide through rotatepriv: turns every pinned vertex about the world
     * origin by `angle` radians, clockwise on screen for a positive angle. */
    void rotate(float angle);
    /* List-wide: x' = x c + y s, y' = y c - x s for every pinned vertex. */
    void rotatepriv(float c, float s);

    /* List-wide: draws each figure as one triangle strip in its colour, each
     * 0.01 nearer in z than the one before. Leaves the modelview matrix moved
     * by 0.01 per figure: the caller saves and restores it. */
    void draw();

    /* Lowest index of a vertex within 0.1 of (x, y) along both axes, or -1. */
    int clicked(float x, float y);
    /* Editor overlay of this figure: a square per vertex (blue simulated, red
     * pinned) and the outline of every strip triangle, lifted 0.3 in z. */
    void highlight();
    /* List-wide: writes each figure, tail first, as C++ source that rebuilds
     * it (see figures/scene.cpp for the form). Does not flush `out`. */
    void dump(FILE *out);

    polygon *next; /* owning; null at the end of the list */
    float r, g, b, a;
    vertex vtx[max_vtx]; /* entries 0 .. nvtx - 1 in use */
    int nvtx;
};

/* Chain offsets of a vertex's spring neighbours, in visiting order: -2, -1, 1, 2.
 * Exported with C linkage as the data symbol `dist_idx`. */
QV_EXTERN_C QV_EXPORT const int dist_idx[4];

#endif
