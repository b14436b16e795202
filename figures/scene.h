/* The built-in scene: 57 figures (three bands, fourteen stalks, twelve
 * dark-green shapes, twenty-eight heads tied to the stalk tops). */
#ifndef QV_FIGURES_SCENE_H
#define QV_FIGURES_SCENE_H

class polygon;

/* Builds the scene onto the list held in *polys (null for a new scene),
 * pushing each figure at the head, so that on success *polys is the last
 * figure built and owns every figure behind it; the tied vertices and the
 * rest distances are set. Returns false when a figure cannot be allocated:
 * then every figure built so far has been destroyed and *polys holds what it
 * held on entry. `polys` is non-null. */
bool BuildScene(polygon **polys);

#endif
