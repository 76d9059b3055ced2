// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

class QString;
class QUrl;

namespace platform {

// File names are bytes to the system, and not always UTF-8 (old archives, some network mounts).
// The toolkit turns them into text, putting U+FFFD where a name does not decode, so the text no
// longer names the file. These find the bytes again; paths then stay bytes.

// The bytes of the path a file dialog gave. When the text's UTF-8 names nothing, each component is
// looked up among its folder's entries by its decoded name; a component that matches no entry or
// several is left as it is, and opening the path then fails.
std::string FileSystemPath(const QString& path);

// The local file a dropped URL names, its percent-escapes decoded to the bytes they stand for;
// nothing for a URL that is not a local file.
std::optional<std::string> LocalFileOfUrl(const QUrl& url);

}  // namespace platform
