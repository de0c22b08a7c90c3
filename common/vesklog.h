// Logging library of the product family (libMorvik.so): the calls both plug-ins make.
//
// A record is one line:  "YYYY-MM-DD HH:MM:SS.mmm LEVEL [module/component] message"
// written with a single write() so records of concurrent threads and processes never interleave.
// A newline inside a message stays in it; the record still ends with exactly one newline.
//
// Configuration, read from the environment whenever a channel is opened:
//   VESKLOG_FILE   append records to this file instead of standard error
//   VESKLOG_LEVEL  lowest level written: debug, info, warn (default), error or off
//
// Every call is thread-safe, never writes to standard output, and never reports a failure to the caller:
// a record that cannot be written is dropped.
#ifndef VESKLOG_H
#define VESKLOG_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VESKLOG_API __attribute__((visibility("default")))
#define VESKLOG_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VESKLOG_API
#define VESKLOG_PRINTF(fmt, args)
#endif

// Opens the channel of module/component and returns its handle (>= 0).
// Opening the same pair again returns the same handle and costs no more than a lookup.
// @return -1 when either name is null or the channel table is full; level calls accept -1 as well.
VESKLOG_API int vesklog_open_v2(const char* module, const char* component);

// Write one record at the given level. Any handle value is accepted: an unknown handle
// (negative, never returned, or -1 from a failed open) writes the record under "?/?".
VESKLOG_API void vesklog_debug(int handle, const char* format, ...) VESKLOG_PRINTF(2, 3);
VESKLOG_API void vesklog_info(int handle, const char* format, ...) VESKLOG_PRINTF(2, 3);
VESKLOG_API void vesklog_warn(int handle, const char* format, ...) VESKLOG_PRINTF(2, 3);
VESKLOG_API void vesklog_error(int handle, const char* format, ...) VESKLOG_PRINTF(2, 3);

#ifdef __cplusplus
}
#endif

#endif
