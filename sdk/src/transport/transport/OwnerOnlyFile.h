// Writing a file that holds a secret (a key file): readable by its owner only from the moment
// it exists, so that no other user can open it in between.
//
// Platform code: OwnerOnlyFilePosix.cpp (mode 0600, an existing file narrowed to it before
// anything is written), OwnerOnlyFileWindows.cpp (created with an access list that grants the
// current user alone).
#pragma once

#include <string>

namespace CamSdk {
namespace transport {

// Creates or replaces `path` with `text`. Raises std::runtime_error naming the file.
void writeOwnerOnlyFile(const std::string& path, const std::string& text);

}  // namespace transport
}  // namespace CamSdk
