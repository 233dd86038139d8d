#include "storage/progress_sink.h"

namespace ravelin {

std::string FormatWarning(const Warning& warning) {
  std::string text = "warning: ";
  if (!warning.subject.empty()) text += warning.subject + ": ";
  text += warning.what;
  if (!warning.where.empty()) text += ", " + warning.where;
  return text;
}

}  // namespace ravelin
