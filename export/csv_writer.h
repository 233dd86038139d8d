// The CSV export: one RFC 4180 file per table (UTF-8 without a byte order
// mark, CRLF line ends), in a folder, or a single table to one file.
//
// The first line holds the column names (plus "ravelin_status" with the
// deleted-record options; "ravelin_status_2"… if a column has that name).
// Values are the command line's data texts (AppendDataText). A field is
// quoted when it holds a comma, a quote, CR or LF, when it is empty, and
// when it is the unreadable marker, so that
//   NULL                   is an empty field:      ,,
//   an empty text          is a quoted one:        ,"",
//   an unreadable value    is the marker unquoted: ,\?,
//   the text \? itself     is quoted:              ,"\?",
//
// Files are named as export_names.h says. The folder (or the file) is
// written under a temporary name and put in place by Finish: a new folder
// is renamed into place; into an existing folder (empty, or any when
// forced) the files are moved one by one. A Stop leaves nothing.

#ifndef RAVELIN_EXPORT_CSV_WRITER_H_
#define RAVELIN_EXPORT_CSV_WRITER_H_

#include <string>
#include <string_view>

#include "export/export_names.h"
#include "export/export_writer.h"
#include "export/output_file.h"

namespace ravelin {

// The unquoted field of an unreadable value.
inline constexpr std::string_view kCsvUnreadable = "\\?";

// Appends `field` to `out`, quoted where the rules above ask.
void AppendCsvField(std::string& out, std::string_view field);

class CsvWriter : public ExportWriter {
 public:
  enum class Layout {
    kFolder,      // output.path is a folder; one file per table
    kSingleFile,  // output.path is the file of the one table written
  };

  CsvWriter(ExportOutput output, Layout layout = Layout::kFolder) : ExportWriter(std::move(output)), layout_(layout) {}

 protected:
  bool DoBegin(std::string& error) override;
  bool DoBeginTable(std::string& error) override;
  bool DoWriteRow(std::span<const ExportValue> values, RowStatus status, std::string& error) override;
  bool DoEndTable(std::string& error) override;
  bool DoSkipTable(const SkippedTable&, std::string&) override { return true; }
  bool DoAddModule(const ExportModule&, std::string&) override { return true; }
  bool DoFinish(bool stopped, std::string& error) override;
  void DoAbort() override;

 private:
  Layout layout_;
  TempFolder folder_;
  BufferedOutput file_;
  UniqueNames fileNames_;
  size_t tablesBegun_ = 0;
  std::string field_;  // one value's text, reused
};

}  // namespace ravelin

#endif  // RAVELIN_EXPORT_CSV_WRITER_H_
