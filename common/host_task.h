// Host interface of the OCR filter: the task object the content-inspection host passes to the
// plug-in's Parse (libPellory.so), which hands it on unchanged to the engine's ZantrelParse
// (libZantrel.so).
//
// Layout. Every object of this interface is an object with a table of operations:
//   - the object's first word holds the address of its operation table;
//   - the table is an array of 8-byte function addresses, its entries counted from 0;
//   - every operation takes the object it was found in as its first argument.
// This is the layout of a C++ object with virtual functions on this platform, so a host may
// implement the task as a class; HostTask below builds the same layout explicitly instead.
//
// Task object operations:
//   entry 13  const void* settings(void* task)
//             the task's settings record, at least kSettingsRecordBytes long:
//               32-bit word at byte offset 16:  bit 7 (0x80) set = OCR is not enabled for the task
//               32-bit word at byte offset 540: non-zero = the file is skipped
//   entry 15  void* file(void* task)
//             the host's file object, laid out as above
//   entry 16  void putText(void* task, const char* utf8, size_t length)
//             the engine hands the text it extracted to the host: `length` bytes of UTF-8 at
//             `utf8`, not necessarily NUL-terminated, valid only during the call. Called at most
//             once per ZantrelParse, never for a file the engine declines.
// File object operations:
//   entry 2   const char* path(void* file)
//             the file's path, a NUL-terminated text that lives as long as the task
//
// Words in the settings record are read with memcpy, so the record needs no particular alignment.
#ifndef VESK_HOST_TASK_H
#define VESK_HOST_TASK_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace veskhost {

using Operation = void (*)();  // a table entry; cast to the operation's own type before calling

using SettingsOperation = const void* (*)(void* task);
using FileOperation = void* (*)(void* task);
using PathOperation = const char* (*)(void* file);
using TextOperation = void (*)(void* task, const char* utf8, size_t length);

constexpr size_t kTaskSettingsEntry = 13;
constexpr size_t kTaskFileEntry = 15;
constexpr size_t kTaskTextEntry = 16;
constexpr size_t kTaskTableEntries = 17;
constexpr size_t kFilePathEntry = 2;
constexpr size_t kFileTableEntries = 3;

constexpr size_t kSettingsFlagsOffset = 16;
constexpr uint32_t kSettingsOcrDisabled = 0x80;  // bit 7 of the flags word
constexpr size_t kSettingsSkipOffset = 540;
constexpr size_t kSettingsRecordBytes = 544;  // the skip word is the last field read

// ---- Reading an object: what the plug-in and the engine use. ----

inline Operation entry(const void* object, size_t index) {
  const Operation* table;
  std::memcpy(&table, object, sizeof table);
  return table[index];
}

template <typename Op>
Op entryAs(const void* object, size_t index) {
  return reinterpret_cast<Op>(entry(object, index));
}

inline const void* taskSettings(void* task) { return entryAs<SettingsOperation>(task, kTaskSettingsEntry)(task); }

inline uint32_t settingsWord(const void* settings, size_t offset) {
  uint32_t word;
  std::memcpy(&word, static_cast<const unsigned char*>(settings) + offset, sizeof word);
  return word;
}

// @return the file's path, or null when the host gives no file object or no path.
inline const char* taskFilePath(void* task) {
  void* file = entryAs<FileOperation>(task, kTaskFileEntry)(task);
  return file == nullptr ? nullptr : entryAs<PathOperation>(file, kFilePathEntry)(file);
}

// @return false when the task offers no text operation (entry 16 is null); nothing is handed then.
inline bool putTaskText(void* task, const char* utf8, size_t length) {
  const TextOperation put = entryAs<TextOperation>(task, kTaskTextEntry);
  if (put == nullptr) return false;
  put(task, utf8, length);
  return true;
}

// ---- Building an object: what a host uses. ----

// A task for one file: settings record, file object and the text handed back, in one object
// owned by the host. Entries of the tables not listed above are null. Not copyable or movable,
// since the objects it hands out point into it. Not thread-safe: one task per parse call.
class HostTask {
 public:
  explicit HostTask(std::string path = "") : path_(std::move(path)) {
    taskTable_[kTaskSettingsEntry] = reinterpret_cast<Operation>(&HostTask::settingsOperation);
    taskTable_[kTaskFileEntry] = reinterpret_cast<Operation>(&HostTask::fileOperation);
    taskTable_[kTaskTextEntry] = reinterpret_cast<Operation>(&HostTask::textOperation);
    fileTable_[kFilePathEntry] = reinterpret_cast<Operation>(&HostTask::pathOperation);
  }
  HostTask(const HostTask&) = delete;
  HostTask& operator=(const HostTask&) = delete;

  // What the host passes to Parse / ZantrelParse.
  void* object() { return &task_; }

  void setPath(std::string path) { path_ = std::move(path); }
  void setOcrDisabled(bool disabled) {
    const uint32_t flags = settingsWord(settings_, kSettingsFlagsOffset);
    setSettingsWord(kSettingsFlagsOffset, disabled ? flags | kSettingsOcrDisabled : flags & ~kSettingsOcrDisabled);
  }
  void setSkip(uint32_t word) { setSettingsWord(kSettingsSkipOffset, word); }
  void setSettingsWord(size_t offset, uint32_t word) { std::memcpy(settings_ + offset, &word, sizeof word); }
  // Takes the text operation out of the table (entry 16 becomes null), as a host without it has.
  void withoutTextOperation() { taskTable_[kTaskTextEntry] = nullptr; }

  const std::string& text() const { return text_; }  // the text last handed over
  int textCalls() const { return textCalls_; }
  int settingsCalls() const { return settingsCalls_; }
  int fileCalls() const { return fileCalls_; }

 private:
  struct Object {
    const Operation* table;  // first word, as the layout requires
    HostTask* owner;
  };
  static HostTask* owner(void* object) { return static_cast<Object*>(object)->owner; }

  static const void* settingsOperation(void* task) {
    HostTask* self = owner(task);
    ++self->settingsCalls_;
    return self->settings_;
  }
  static void* fileOperation(void* task) {
    HostTask* self = owner(task);
    ++self->fileCalls_;
    return &self->file_;
  }
  static const char* pathOperation(void* file) { return owner(file)->path_.c_str(); }
  static void textOperation(void* task, const char* utf8, size_t length) {
    HostTask* self = owner(task);
    ++self->textCalls_;
    self->text_.assign(utf8, length);
  }

  Operation taskTable_[kTaskTableEntries] = {};
  Operation fileTable_[kFileTableEntries] = {};
  Object task_{taskTable_, this};
  Object file_{fileTable_, this};
  unsigned char settings_[kSettingsRecordBytes] = {};
  std::string path_;
  std::string text_;
  int textCalls_ = 0;
  int settingsCalls_ = 0;
  int fileCalls_ = 0;
};

}  // namespace veskhost

#endif
