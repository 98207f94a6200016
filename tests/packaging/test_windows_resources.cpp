// What Windows shows of kvb.exe and kvbview.exe beside their code, read from the built programs
// the way Explorer and the loader read them: the version resource, the icon at every size the
// shell asks for, the manifest, and the kind of program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string &ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// The build gives Z:/... paths; the loader's data-file mode wants backslashes.
std::wstring WindowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return Wide(path);
}

const std::wstring kProgram = WindowsPath(KVB_BINARY);
const std::wstring kDesktopProgram = WindowsPath(KVBVIEW_BINARY);

using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)>;

Module LoadResources()
{
    return Module(LoadLibraryExW(kProgram.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE),
                  &FreeLibrary);
}

std::string Resource(HMODULE module, const wchar_t *type, int id)
{
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found)
        return {};
    const auto *data = static_cast<const char *>(LockResource(LoadResource(module, found)));
    return std::string(data, SizeofResource(module, found));
}

// The layout of an icon group resource (RT_GROUP_ICON), which names one RT_ICON per size.
#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroupHeader {
    WORD reserved, type, count;
};
#pragma pack(pop)

// The version resource's text value name of program.
std::wstring VersionText(const std::wstring &program, const wchar_t *name)
{
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), nullptr);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoW(program.c_str(), 0, size, info.data()))
        return L"(no version resource)";
    wchar_t *value = nullptr;
    UINT chars = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void **>(&value), &chars))
        return L"(missing)";
    return value;
}

// The subsystem of program's header: IMAGE_SUBSYSTEM_WINDOWS_GUI or _CUI.
WORD Subsystem(const std::wstring &program)
{
    const Module module(LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), &FreeLibrary);
    if (!module)
        return 0;
    // A module loaded as data is its file's bytes, marked in the handle's lowest bits.
    const auto *base =
        reinterpret_cast<const BYTE *>(reinterpret_cast<ULONG_PTR>(module.get()) & ~ULONG_PTR(3));
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew)->OptionalHeader.Subsystem;
}

TEST(WindowsResources, KvbExeNamesItselfAndItsVersion)
{
    const DWORD size = GetFileVersionInfoSizeW(kProgram.c_str(), nullptr);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(kProgram.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(KVB_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(minor, major)));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, patch)));

    EXPECT_EQ(VersionText(kProgram, L"ProductName"), L"KVB Editor");
    EXPECT_EQ(VersionText(kProgram, L"ProductVersion"), Wide(KVB_VERSION));
    EXPECT_EQ(VersionText(kProgram, L"FileVersion"), Wide(KVB_VERSION));
    EXPECT_EQ(VersionText(kProgram, L"OriginalFilename"), L"kvb.exe");
    EXPECT_EQ(VersionText(kProgram, L"FileDescription"), L"KVB Editor command-line tool");
    EXPECT_EQ(Subsystem(kProgram), IMAGE_SUBSYSTEM_WINDOWS_CUI);
}

// The desktop program starts without a console window, and says what it is.
TEST(WindowsResources, KvbviewExeIsAWindowsProgramNamedAsTheDesktopProgram)
{
    EXPECT_EQ(Subsystem(kDesktopProgram), IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(VersionText(kDesktopProgram, L"OriginalFilename"), L"kvbview.exe");
    EXPECT_EQ(VersionText(kDesktopProgram, L"FileDescription"), L"KVB Editor");
    EXPECT_EQ(VersionText(kDesktopProgram, L"ProductVersion"), Wide(KVB_VERSION));
}

TEST(WindowsResources, KvbExeHasItsIconAtEverySizeTheShellAsksFor)
{
    const Module module = LoadResources();
    ASSERT_NE(module.get(), nullptr);
    // Explorer takes the icon group with the lowest number; the windows take resource 1 too.
    const std::string group = Resource(module.get(), RT_GROUP_ICON, 1);
    ASSERT_GE(group.size(), sizeof(IconGroupHeader));
    const auto *header = reinterpret_cast<const IconGroupHeader *>(group.data());
    ASSERT_EQ(group.size(), sizeof *header + header->count * sizeof(IconGroupEntry));
    const auto *entries = reinterpret_cast<const IconGroupEntry *>(header + 1);

    std::set<int> sizes;
    for (int i = 0; i < header->count; ++i) {
        const int size = entries[i].width ? entries[i].width : 256;
        sizes.insert(size);
        EXPECT_EQ(entries[i].bitCount, 32) << size << " pixels";
        // Each image must be one the system can draw, the 256-pixel PNG included.
        std::string image = Resource(module.get(), RT_ICON, entries[i].id);
        ASSERT_FALSE(image.empty()) << size << " pixels";
        const HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE *>(image.data()),
                                                    static_cast<DWORD>(image.size()), TRUE, 0x00030000,
                                                    size, size, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << size << " pixels";
        DestroyIcon(icon);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48, 256}));
}

// What the manifest does is shown by the window tests, whose program carries the same one.
TEST(WindowsResources, KvbExeCarriesTheProgramsManifest)
{
    const Module module = LoadResources();
    ASSERT_NE(module.get(), nullptr);
    std::ifstream source(KVB_MANIFEST, std::ios::binary);
    ASSERT_TRUE(source) << KVB_MANIFEST;
    const std::string expected{std::istreambuf_iterator<char>(source), {}};
    EXPECT_EQ(Resource(module.get(), RT_MANIFEST, 1), expected);
}

} // namespace
