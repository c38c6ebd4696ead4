// Where a downloaded file's name comes from: the server's Content-Disposition header when it
// names one, else the last segment of the URL's path. Both give the name as the server or URL
// means it (decoded); the retriever still makes it safe for the download folder.
#pragma once

#include <string>
#include <string_view>

namespace dravik {

// The file name a Content-Disposition value gives ("attachment; filename=\"sabers.zip\"",
// "attachment; filename*=UTF-8''S%C3%A4bel.zip"): filename* (UTF-8 or ISO-8859-1) before
// filename, quoted or not, reduced to its last path component; "" when there is none.
std::string FileNameFromContentDisposition(std::string_view value);
// The percent-decoded last segment of a URL's path, without query or fragment
// ("http://h/get/x%20y.zip?id=4#top" gives "x y.zip"); "" when the path ends in "/".
std::string FileNameFromURL(std::string_view url);

} // namespace dravik
