/* Strova, the Vantrel media engine: thirteen C-callable exports over
 * GStreamer pipelines. Every export runs on the caller's thread, one call at a
 * time; results are EngineResult values (pipeline exports: 1 done or nothing
 * to do, 0 an element or the pipeline was not made). */
#ifndef STROVA_H
#define STROVA_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(STROVA_BUILDING)
#define STROVA_API __declspec(dllexport)
#else
#define STROVA_API __declspec(dllimport)
#endif
#else
#define STROVA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t EngineResult;

/* Engine frame. strova_init: 1, or -1 (own module not found), -2 (its path
 * unreadable), -3 (no file name in the path; only when env_ready is 0), -4
 * (called after strova_release: GStreamer cannot be initialised again in the
 * process; every export stays harmless: starts give 0, the rest 1). */
#define STROVA_INIT_AFTER_RELEASE (-4)
STROVA_API EngineResult strova_init(uint8_t env_ready);
STROVA_API EngineResult strova_wait(void);
STROVA_API EngineResult strova_release(void);

/* Output pipeline "kxclient": network RTP/H.264 or a camera, NV12 frames into
 * the shared-memory frame queue "vantrelVirtualCamVideo". A port outside
 * 1..65535 (0 selects the camera) gives 0 with nothing made. Where no queue can
 * be made (held by another writer, a size beyond 8192 a side or 139264
 * macroblocks, shared memory too full) one line on standard error says why
 * and the pipeline runs without one. */
STROVA_API EngineResult strova_startoutput(int32_t device_index, const char* device_name, int32_t port,
                                           const char* media_type, int32_t width, int32_t height, int32_t framerate,
                                           int32_t framerate_den);
STROVA_API EngineResult strova_endoutput(void);

/* Preview branch of the running output pipeline, drawn into a native window.
 * strova_playon: 1 attached (or nothing to do); 0 when the branch could not be
 * made or its sink cannot draw here (no usable OpenGL, no display): no branch
 * is left behind and the output keeps playing. */
STROVA_API EngineResult strova_playon(uintptr_t window_handle);
STROVA_API EngineResult strova_playoff(void);

/* Camera preview pipeline "kxpcbox". */
STROVA_API EngineResult strova_startplay(int32_t device_index, const char* device_name, const char* media_type,
                                         int32_t width, int32_t height, int32_t framerate, int32_t framerate_den,
                                         uintptr_t window_handle);
STROVA_API EngineResult strova_endplay(void);

/* Camera stream-out pipeline "kxpcbox": camera as RTP/H.264 to host:port. */
STROVA_API EngineResult strova_startstream(int32_t device_index, const char* device_name, const char* media_type,
                                           int32_t width, int32_t height, int32_t framerate, int32_t framerate_den,
                                           const char* host, int32_t port);
STROVA_API EngineResult strova_endstream(void);

/* Stream preview pipeline "kxpcbox": incoming RTP/H.264 shown in a window. */
STROVA_API EngineResult strova_startplaystream(int32_t port, int32_t payload, uintptr_t window_handle);
STROVA_API EngineResult strova_endplaystream(void);

#ifdef __cplusplus
}
#endif

#endif /* STROVA_H */
