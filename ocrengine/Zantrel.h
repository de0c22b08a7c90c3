// libZantrel.so: the OCR engine the filter plug-in libPellory.so loads at run time, built on
// Tesseract (English trained data) and Leptonica.
//
// Images: PNG, JPEG, TIFF (first page), BMP (uncompressed) and WebP, recognised by their content,
// not their name. Images over 40 million pixels or 32767 pixels on a side, and files over 64 MiB,
// are refused from their header, before anything is decoded.
// Trained data: eng.traineddata in $ZANTREL_TESSDATA, else in $TESSDATA_PREFIX, else in
// /usr/share/tesseract-ocr/5/tessdata.
// Threads: Tesseract runs on the calling thread only. ZantrelInit sets OMP_THREAD_LIMIT=1 unless
// the host has set it; a host that loaded OpenMP before ZantrelInit keeps its own limit.
// Parses are serialised: any number of host threads may call ZantrelParse, one recognises at a time.
// Log records go to the channel TextExtractor_OCR/Zantrel of libMorvik.so. No function throws.
#ifndef ZANTREL_H
#define ZANTREL_H

#if defined(__GNUC__)
#define ZANTREL_API __attribute__((visibility("default")))
#else
#define ZANTREL_API
#endif

extern "C" {

// Starts Tesseract, unless it is already running (then only the log channel is reopened).
// @return true when Tesseract is ready; false, with an error record, when the Tesseract library
//         or the trained data is missing or Tesseract fails to start.
ZANTREL_API bool ZantrelInit();

// Recognises the text of the image at `path` and hands it, UTF-8, to the host through the task's
// text operation (entry 16 of the task object, common/host_task.h), outside the engine's lock.
// @return 1 when the text was handed over (possibly empty: an image without text); 0, with a
//         warning, when the engine is not started, `task` is null or offers no text operation,
//         or the file is not a readable image of a supported type within the limits (missing,
//         empty, truncated, corrupt, RLE-compressed BMP, too large).
ZANTREL_API int ZantrelParse(const char* path, void* task);

// Ends Tesseract; ZantrelInit may start it again. No effect when it is not running.
ZANTREL_API void ZantrelRelease();

}  // extern "C"

#endif
