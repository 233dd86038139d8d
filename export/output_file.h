// Output files of an export, written safely: an output is checked before
// anything is written (never an existing file unless forced, never a file
// of the database being read, compared by device and inode), written under
// a temporary name in the same folder, and renamed into place only when it
// is whole. Every write is checked; errors name the path and the reason.

#ifndef RAVELIN_EXPORT_OUTPUT_FILE_H_
#define RAVELIN_EXPORT_OUTPUT_FILE_H_

#include <string>
#include <string_view>
#include <vector>

namespace ravelin {

struct ExportOutput {
  std::string path;    // a file, or for the CSV folder a folder
  bool force = false;  // replace what is there
};

// "PATH: reason" with the text of `errnoValue`.
std::string ErrnoMessage(const std::string& what, const std::string& path, int errnoValue);

// Whether `path` names an existing file that is one of `inputs` (same
// device and inode, so links and other spellings are caught).
bool IsInputFile(const std::string& path, const std::vector<std::string>& inputs);

// Checks `path` as the final name of an output file: it must not be a
// folder, nor one of `inputs`, nor exist unless `force`. False with the
// reason in `error`.
bool CheckOutputFile(const std::string& path, bool force, const std::vector<std::string>& inputs, std::string& error);

// A file created under a temporary name beside its final name and moved
// there by Commit. Until then (and when discarded, or destroyed
// uncommitted) nothing exists under the final name.
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();

  // Creates ".NAME.ravelin-XXXXXX" in the folder of `finalPath`, open for
  // writing. Errors name `shownPath` (the path the user knows), else
  // `finalPath`.
  bool Create(const std::string& finalPath, std::string& error, const std::string& shownPath = "");
  const std::string& path() const { return path_; }
  const std::string& finalPath() const { return finalPath_; }

  // Writes all of `data` (retrying short writes).
  bool Write(std::string_view data, std::string& error);
  // Closes the descriptor (a file another library writes is then reopened
  // by name); Commit flushes it to the device first.
  bool Close(std::string& error);
  // Moves the file to its final name: replacing what is there when
  // `replace`, else failing if something appeared there meanwhile.
  bool Commit(bool replace, std::string& error);
  // Removes the file unless committed.
  void Discard();

 private:
  std::string finalPath_;
  std::string shownPath_;
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

// A TempFile written through a buffer; the first error sticks and every
// later call returns false.
class BufferedOutput {
 public:
  bool Open(const std::string& finalPath, std::string& error, const std::string& shownPath = "");
  std::string& buffer() { return buffer_; }
  // Writes the buffer out once it has grown past the flush size.
  bool MaybeFlush(std::string& error) { return buffer_.size() < kFlushSize || Flush(error); }
  bool Flush(std::string& error);
  // Flushes, closes and moves into place.
  bool Commit(bool replace, std::string& error);
  void Discard();
  const std::string& finalPath() const { return file_.finalPath(); }

 private:
  static constexpr size_t kFlushSize = 1 << 20;
  TempFile file_;
  std::string buffer_;
};

// A folder built under a temporary name beside its final name. Commit
// renames it into place, or, where the final folder exists (empty, or
// forced), moves each file into it.
class TempFolder {
 public:
  TempFolder() = default;
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  bool Create(const std::string& finalPath, std::string& error);
  const std::string& path() const { return path_; }
  // `name` in the temporary folder.
  std::string Inside(const std::string& name) const { return path_ + "/" + name; }
  // Moves every file into the final folder; refuses (unless `force`) to
  // replace a file there, and refuses a file of `inputs`.
  bool Commit(bool force, const std::vector<std::string>& inputs, std::string& error);
  // Removes the folder and everything written into it, unless committed.
  void Discard();

 private:
  std::string finalPath_;
  std::string path_;
  bool committed_ = false;
};

// Checks `path` as the final name of an output folder: an existing
// non-folder is refused, an existing folder that holds files only when
// forced.
bool CheckOutputFolder(const std::string& path, bool force, std::string& error);

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_OUTPUT_FILE_H_
