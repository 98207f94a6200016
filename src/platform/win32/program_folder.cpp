#include "platform/program_folder.h"

#include "platform/paths.h"
#include "platform/win32/wide.h"

namespace kvb {

std::string ExecutableFolder()
{
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, exe.data(), DWORD(exe.size()));
        if (n == 0)
            return {};
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);
    }
    return ParentFolderOf(win32::Utf8(exe));
}

} // namespace kvb
