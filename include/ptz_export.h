/* Symbol export for libvelmora_common: PTZ_API marks exactly the functions
 * of the public interface; everything else is built with hidden visibility. */
#ifndef PTZ_EXPORT_H
#define PTZ_EXPORT_H

#if defined(__GNUC__)
#define PTZ_API __attribute__ ((visibility ("default")))
#else
#define PTZ_API
#endif

#endif /* PTZ_EXPORT_H */
