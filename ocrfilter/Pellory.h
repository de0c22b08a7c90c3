// libPellory.so: the OCR filter plug-in of the content-inspection host.
//
// The plug-in recognises nothing itself: Init checks the system, loads the OCR engine
// libZantrel.so from a path formed from the working directory and binds its entry points;
// GetType names the image types it handles; Parse hands each file to the engine; Release shuts
// the engine down. The host calls Init, then GetType and Parse per file, then Release.
// Init and Release must not overlap any other call into the plug-in; whether Parse may run on
// several threads at once is up to the engine (libZantrel.so serialises its parses).
// Log records go to the channel TextExtractor_OCR/OCRFilter of libMorvik.so.
// No function throws.
#ifndef PELLORY_H
#define PELLORY_H

#include <cstdint>
#include <string>

#if defined(__GNUC__)
#define PELLORY_API __attribute__((visibility("default")))
#else
#define PELLORY_API
#endif

// Entry points of the engine, as the plug-in calls them.
typedef bool (*ZantrelInitFunc)();
typedef void (*ZantrelReleaseFunc)();
typedef int (*ZantrelParseFunc)(const char* path, void* task);

extern "C" {

// ---- Host entry points ----

// Opens the log channel, checks the system (glibc 2.17 or later, 64-bit), loads the engine from
// <cwd>/../lib/veskcomm/libZantrel.so when the working directory ends in "/bin", otherwise from
// <cwd>/libs_x64/libZantrel.so, binds ZantrelInit, ZantrelRelease and ZantrelParse, and calls
// ZantrelInit. May be called again without Release; it then does all of this again.
// @return true when the engine was loaded, bound and has initialised itself; false otherwise,
//         with a warning (none when ZantrelInit itself answers false). Globals set before a
//         failure stay set.
PELLORY_API bool Init();

// @return "jpg;png;tif;tiff;bmp;webp;jpeg" while the engine library is loaded, "" (with a warning)
//         otherwise. Static storage: the host neither frees nor changes it.
PELLORY_API const char* GetType();

// Hands the task's file to the engine. `task` is the host's task object (common/host_task.h).
// @return 0 when the plug-in declines the file: OCR not enabled for the task (warning), file
//         skipped by the task's settings (silent), no file at the path (warning), engine not
//         bound (warning), or a null task, settings record or path; otherwise the result of
//         ZantrelParse(path, task), unchanged.
PELLORY_API int Parse(void* task);

// Calls ZantrelRelease when it is bound and clears the engine globals. The engine library stays
// mapped and the log channel open. Safe to call at any time, also repeatedly.
PELLORY_API void Release();

// ---- Process-wide state, zero or null when the library is loaded ----

PELLORY_API extern int32_t g_LogHandle;  // log channel, reopened by every Init
PELLORY_API extern void* OCRInstance;    // loader handle of libZantrel.so; non-null = loaded
PELLORY_API extern ZantrelInitFunc m_fp_ZantrelInit;
PELLORY_API extern ZantrelReleaseFunc m_fp_ZantrelRelease;
PELLORY_API extern ZantrelParseFunc m_fp_ZantrelParse;

}  // extern "C"

// ---- Loader functions ----

// @return the loader's handle of the library at `path`, opened with RTLD_NOW | RTLD_GLOBAL, or null.
PELLORY_API void* LoadLib(const std::string& path);
// @return null when `lib` is null, otherwise dlsym(lib, name).
PELLORY_API void* GetLibFun(void* lib, const char* name);
// @return the loader's last error text, at most 98 characters; "" when the loader has none.
//         Reading it clears the loader's error, as dlerror does.
PELLORY_API std::string GetLastErr();
// Version query for the library file at `path`. Engine files carry no version here.
// @return false, leaving `version` unchanged.
PELLORY_API bool GetDllVer(const std::string& path, std::string& version);
// @return 0 when `lib` is null, otherwise the result of dlclose(lib). The plug-in never calls it.
PELLORY_API int FreeLib(void* lib);

// ---- System check ----

// Fills `version` with the glibc version and `bits` with the output of "getconf LONG_BIT"
// without its last character (the newline); reads /proc/version to make sure it is readable.
// @return false when /proc/version or the command pipe cannot be opened (`bits` then empty).
PELLORY_API bool getSysVer(std::string& version, std::string& bits);
// @return 1 system fit (bits "64", glibc not lower than 2.17); 2 bits not exactly "64";
//         -1 glibc lower than 2.17; 0 system information unreadable. Both texts are filled.
PELLORY_API int checkAndGetSysVer(std::string& version, std::string& bits);
// @return the code of checkAndGetSysVer for texts of its own.
PELLORY_API int checkSysVer();
// Compares dotted versions part by part as numbers; a missing or empty part counts as 0.
// Bytes are not tested for being digits (each counts as byte - '0'); a part's value wraps
// modulo 2^32, read as a signed 32-bit number.
// @return 1 when `a` is not lower than `b`, -1 when it is; never 0.
PELLORY_API int compareVersion(std::string a, std::string b);
// @return the local time as "%Y-%m-%d %H:%M:%S", e.g. "2023-03-01 09:05:07".
PELLORY_API std::string GetCurTime();

#endif
