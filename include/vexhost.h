/* vexhost.h: configuration of the library's default host services (tracing and clock).
 *
 * Conventions
 *  1. Every trace line (a message, one line of a hex dump, a function's entry or exit) reaches the sink as
 *     one call, without a newline. The line is only valid during the call.
 *  2. With no sink set, lines go to standard error, or are appended to the file named by VEX_TRACE_FILE.
 *  3. Trace levels start from VEX_TRACE_LEVEL ("0x11", or "0x01,ColEQLit=0x41,FLT1_CreateFilter=0x11");
 *     the calls below replace them, and every change reaches each function on its next call. Up to 256
 *     functions keep a level of their own, named in at most 63 characters; further settings are ignored.
 *  4. These calls may be made from any thread; sinks and clocks are called from the thread the library
 *     runs on and must not call back into these functions.
 *  5. No function of the library lets a C++ exception reach the host. FLT1_FilterRecord and the calls
 *     here need no memory; a trace line too long for the stack is cut short when none is left for it.
 */
#ifndef VEXHOST_H_
#define VEXHOST_H_

#include <stdint.h>

#include "vexfilt.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*VEXH_TraceSink)(void* context, const char* line);  /* one line, no newline */
VEXFILT_EXPORT void VEXH_SetTraceSink(VEXH_TraceSink sink, void* context);        /* NULL: default output */
VEXFILT_EXPORT void VEXH_SetTraceLevel(const char* blockName, uint32_t level);    /* NULL: every trace block */
VEXFILT_EXPORT void VEXH_ResetTraceLevels(void);                                  /* every block back to 0 */
typedef void (*VEXH_Clock)(void* context, uint32_t* seconds, uint32_t* nanoseconds);
VEXFILT_EXPORT void VEXH_SetClock(VEXH_Clock clock, void* context);               /* NULL: system clock */

#ifdef __cplusplus
}
#endif

#endif /* VEXHOST_H_ */
