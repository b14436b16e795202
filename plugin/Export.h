/* Symbol visibility of the bundle. The bundle is compiled with hidden
 * visibility; QV_EXPORT marks the names it offers to the host and to other
 * programs. The link binds the bundle's own calls to its own definitions. */
#ifndef QV_PLUGIN_EXPORT_H
#define QV_PLUGIN_EXPORT_H

#define QV_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
#define QV_EXTERN_C extern "C"
#else
#define QV_EXTERN_C
#endif

#endif
