#include "unpack.h"

#include <algorithm>

#ifdef QUORVEL_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

namespace host {

std::string archiveTypeOf(const std::string& head) {
  auto at = [&](size_t offset, const char* bytes, size_t n) {
    return head.size() >= offset + n && head.compare(offset, n, bytes, n) == 0;
  };
  if (at(0, "\x1F\x8B", 2)) return "gzip";
  if (at(0, "BZh", 3) && head.size() > 3 && head[3] >= '1' && head[3] <= '9') return "bzip2";
  if (at(0,
         "\xFD"
         "7zXZ\0",
         6))
    return "xz";
  if (at(0, "\x28\xB5\x2F\xFD", 4)) return "zstd";
  if (at(0, "PK\x03\x04", 4) || at(0, "PK\x05\x06", 4)) return "zip";
  if (at(257, "ustar", 5)) return "tar";
  return "";
}

#ifndef QUORVEL_HAVE_LIBARCHIVE

bool archivesSupported() { return false; }

std::string expandArchive(const std::string&, const std::string&, const ExpansionLimits&, uint64_t*,
                          const std::function<void(Member&&)>&) {
  return "built without archive support";
}

#else

namespace {

// The input is handed to libarchive in blocks, so that the compressed bytes consumed while a member
// is read are known to within one block.
constexpr size_t kInputBlock = 64 * 1024;
// Expanded bytes a member may always reach, whatever its ratio: small members of a solid stream
// consume no input of their own.
constexpr uint64_t kRatioFloor = 1 << 20;

struct Source {
  const std::string* bytes;
  size_t at = 0;
};

la_ssize_t readBlock(struct archive*, void* data, const void** buffer) {
  auto* source = static_cast<Source*>(data);
  const size_t n = std::min(kInputBlock, source->bytes->size() - source->at);
  *buffer = source->bytes->data() + source->at;
  source->at += n;
  return static_cast<la_ssize_t>(n);
}

// Reads the current member's data into m->bytes, or sets m->refusal.
void readMember(struct archive* a, const Source& source, const ExpansionLimits& limits, uint64_t* expanded, Member* m) {
  const size_t consumedBefore = source.at;
  char buffer[64 * 1024];
  for (;;) {
    const la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
    if (n < 0) {
      m->refusal = std::string("cannot expand: ") + archive_error_string(a);
      break;
    }
    if (n == 0) return;
    *expanded += static_cast<uint64_t>(n);
    m->bytes.append(buffer, static_cast<size_t>(n));
    const uint64_t consumed = source.at - consumedBefore + kInputBlock;
    if (m->bytes.size() > limits.memberBytes) {
      m->refusal = "larger than --max-bytes (" + std::to_string(limits.memberBytes) + " bytes)";
      break;
    }
    if (*expanded > limits.totalBytes) {
      m->refusal = "expands beyond " + std::to_string(limits.totalBytes) + " bytes in all, refused";
      break;
    }
    if (m->bytes.size() > kRatioFloor && static_cast<double>(m->bytes.size()) > limits.ratio * consumed) {
      m->refusal = "expands more than " + std::to_string(static_cast<long long>(limits.ratio)) +
                   " times its compressed size, refused";
      break;
    }
  }
  m->bytes.clear();
  m->bytes.shrink_to_fit();
}

}  // namespace

bool archivesSupported() { return true; }

std::string expandArchive(const std::string& bytes, const std::string& fallbackName, const ExpansionLimits& limits,
                          uint64_t* expanded, const std::function<void(Member&&)>& member) {
  struct archive* a = archive_read_new();
  archive_read_support_filter_all(a);
  archive_read_support_format_tar(a);
  archive_read_support_format_zip(a);
  archive_read_support_format_raw(a);  // a compressed file that holds no archive
  Source source{&bytes};
  if (archive_read_open(a, &source, nullptr, readBlock, nullptr) != ARCHIVE_OK) {
    std::string why = std::string("cannot read archive: ") + archive_error_string(a);
    archive_read_free(a);
    return why;
  }
  std::string problem;
  struct archive_entry* entry;
  for (;;) {
    const int status = archive_read_next_header(a, &entry);
    if (status == ARCHIVE_EOF) break;
    if (status < ARCHIVE_WARN) {
      problem = std::string("cannot read archive: ") + archive_error_string(a);
      break;
    }
    if (archive_entry_filetype(entry) != AE_IFREG) continue;
    const bool raw = archive_format(a) == ARCHIVE_FORMAT_RAW;
    const char* name = archive_entry_pathname(entry);
    Member m;
    m.name = raw || name == nullptr ? fallbackName : name;
    readMember(a, source, limits, expanded, &m);
    const bool stop = *expanded > limits.totalBytes;
    member(std::move(m));
    if (stop) break;
  }
  archive_read_free(a);
  return problem;
}

#endif

}  // namespace host
