// The decisions of the once-a-day update check, apart from any window: the
// version comparison, the question's text and the fetch of the version file.
#pragma once

#include <optional>
#include <string>

namespace velmora {

// A version text read as a decimal number with "." as the decimal separator;
// blanks around it are allowed ("2.0 " reads as 2). Nothing when the text is
// not a number.
std::optional<double> ParseVersionNumber(const std::string& text);

// True when both texts are numbers and the installed one is the lower. A text
// that is not a number gives False: nothing is asked.
bool IsNewerPublished(const std::string& installed, const std::string& published);

// The question shown when a newer version is published.
std::string UpdateQuestionText(const std::string& published, const std::string& installed);

// Fetches the version file into appDir + "updatever.ini" (replacing an earlier
// file) and returns its [IOSver] lastver, "0" when missing. Any failure (no
// network, an HTTP error status, a file that cannot be written) gives "0".
std::string FetchPublishedVersion(const std::string& url, const std::string& appDir,
                                  int timeoutMs);

}  // namespace velmora
