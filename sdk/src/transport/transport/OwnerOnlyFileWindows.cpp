#include <windows.h>
// After windows.h, which they need.
#include <sddl.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "transport/OwnerOnlyFile.h"

namespace CamSdk {
namespace transport {
namespace {

struct LocalFreeDeleter {
  void operator()(void* memory) const { LocalFree(memory); }
};
using LocalText = std::unique_ptr<char, LocalFreeDeleter>;

std::runtime_error failure(const std::string& path, const char* what) {
  return std::runtime_error(path + ": " + what + " (Windows error " +
                            std::to_string(GetLastError()) + ")");
}

// The current user's security identifier, as text ("S-1-5-21-...").
std::string currentUser(const std::string& path) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    throw failure(path, "cannot read this process's user");
  }
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  const bool read = GetTokenInformation(token, TokenUser, buffer.data(), size, &size) != 0;
  CloseHandle(token);
  char* text = nullptr;
  if (!read ||
      !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    throw failure(path, "cannot read this process's user");
  }
  return LocalText(text).get();
}

}  // namespace

void writeOwnerOnlyFile(const std::string& path, const std::string& text) {
  // Protected (nothing inherited from the folder): full access for the current user alone.
  const std::string rules = "D:P(A;;FA;;;" + currentUser(path) + ")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(rules.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    throw failure(path, "cannot describe the file's access");
  }
  const std::unique_ptr<void, LocalFreeDeleter> ownedDescriptor(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  // An existing file would keep its own access list through CREATE_ALWAYS: it goes first, and
  // the new one is made afresh (CREATE_NEW fails if another appeared in between).
  if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    throw failure(path, "cannot replace the file");
  }
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw failure(path, "cannot write the file");
  DWORD written = 0;
  const bool wrote =
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
      written == text.size();
  CloseHandle(file);
  if (!wrote) throw failure(path, "write failed");
}

}  // namespace transport
}  // namespace CamSdk
