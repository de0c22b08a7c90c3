// Symbol visibility of libQuorvel.so: the library builds with hidden visibility, and only what is
// marked QUORVEL_API is exported (hosts and tools link against these decorated names).
#ifndef QUORVEL_EXPORT_H
#define QUORVEL_EXPORT_H

#if defined(__GNUC__)
#define QUORVEL_API __attribute__((visibility("default")))
#else
#define QUORVEL_API
#endif

#endif
