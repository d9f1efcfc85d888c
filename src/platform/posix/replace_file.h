// A file the user owns, replaced as a whole: the new contents go to a file
// beside it, are flushed, and the new file is renamed over the old one, so
// the file is never seen half written, and a failure or a kill at any moment
// leaves the old one as it was.
#pragma once

#include <string>

namespace platform {

// A read-only file is refused (to root as well), a link is written through
// to its target, and the new file keeps the old one's permissions and owner.
// False when the file cannot be replaced; it is then as it was.
bool ReplaceFileContents(const std::string& path, const std::string& text);

}  // namespace platform
