/* Symbol visibility, one convention for the bundle's code and the pixel
 * library alike. Both are compiled with hidden visibility; QV_EXPORT marks the
 * names they offer to the host and to other programs. The bundle's link binds
 * its own calls to its own definitions. */
#ifndef QV_PLATFORM_EXPORT_H
#define QV_PLATFORM_EXPORT_H

#if defined(__GNUC__)
#define QV_EXPORT __attribute__((visibility("default")))
#else
#define QV_EXPORT
#endif

#ifdef __cplusplus
#define QV_EXTERN_C extern "C"
#else
#define QV_EXTERN_C
#endif

#endif
