// The situations users meet around an archive: a full disk, a read-only place, a second program
// holding the file, and paths with spaces and characters beyond ASCII.
#include "archive/catalogue.h"
#include "archive/extract.h"
#include "archive/raw_archive.h"
#include "cli/run_kvb.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "robustness/child_process.h"
#include "robustness/traced_kvb.h"
#include "support/archive_builder.h"
#include "tools/creation.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kvb;
using namespace kvb::test;

namespace fs = std::filesystem;

namespace {

// The child's files cannot grow beyond limit bytes. With SIGXFSZ ignored a write past the
// limit fails with EFBIG, as one on a full disk fails with ENOSPC.
void LimitFileSize(rlim_t limit)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit rl{};
    ::getrlimit(RLIMIT_FSIZE, &rl);
    rl.rlim_cur = limit;
    if (::setrlimit(RLIMIT_FSIZE, &rl) != 0)
        throw std::runtime_error("cannot limit the file size");
}

// Gives the child a mount namespace of its own, in which nothing propagates back. Returns why
// not when the machine does not allow it.
std::string PrivateMounts()
{
    int flags = ::geteuid() == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS;
    if (::unshare(flags) != 0)
        return "no private mount namespace here";
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return "mounts cannot be made private here";
    return {};
}

std::string MountReadOnly(const std::string &folder)
{
    if (std::string why = PrivateMounts(); !why.empty())
        return why;
    if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
        return "no read-only bind mount here";
    return {};
}

// kvb game-folder for a user whose home is home. A run that waits (on a pipe, say) is ended
// after a minute, and outside the sanitizer build, whose shadow memory takes more, one that
// keeps allocating fails at 1 GiB of address space.
RunResult GameFolder(const TempDir &dir, const std::string &home, const std::string &winePrefix)
{
#ifdef __SANITIZE_ADDRESS__
    const std::string limit;
#else
    const std::string limit = "ulimit -v 1048576; ";
#endif
    return RunProgram("/bin/sh", dir,
                      {"-c", limit + "HOME=\"$1\" WINEPREFIX=\"$2\" exec timeout 60 \"$0\" game-folder",
                       KVB_BINARY, home, winePrefix});
}

const std::string kGameKey = "[Software\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n"
                             "\"AppPath\"=\"C:\\\\Games\\\\FF7\"\n";

} // namespace

TEST(FullDisk, ExtractionFailsWithTheWriteErrorOnBothCopyPaths)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    std::string bytes = ArchiveBuilder().Add("BIG.BIN", PatternBytes(3 << 20, 1)).Build();
    WriteFile(path, bytes);
    TKVB_Entry entry = TKVBFile(path, false).GetEntry(0);

    std::string result = RunInChild([&] {
        LimitFileSize(1 << 20);
        TFileStream file(path, TFileStream::Mode::OpenRead);
        TMemoryStream memory(bytes);
        return Outcome([&] { ExtractEntry(file, entry, dir / "kernel.bin"); }) + " / " +
               Outcome([&] { ExtractEntry(memory, entry, dir / "buffered.bin"); });
    });
    EXPECT_EQ(result, "Stream write error\nWriting " + dir / "kernel.bin" +
                          ": file too large / Stream write error\nWriting " + dir / "buffered.bin" +
                          ": file too large");
    EXPECT_LE(fs::file_size(dir / "kernel.bin"), 1u << 20);
    EXPECT_LE(fs::file_size(dir / "buffered.bin"), 1u << 20);
}

TEST(FullDisk, AppendThatDoesNotFitLeavesTheArchiveAsItWas)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    const std::string original = TwoEntryArchive();
    WriteFile(path, original);

    std::string result = RunInChild([&] {
        LimitFileSize(8192);
        TRawKVBFile f(path);
        std::string big(64 << 10, 'b');
        std::string text = Outcome([&] { f.AppendData(DataRecordOf("BIG.BIN", big)); });
        text += " / " + std::to_string(f.DataCount()) + " records / ";
        return text + Outcome([&] { f.AppendData(DataRecordOf("SMALL.BIN", std::string(100, 's'))); });
    });
    EXPECT_EQ(result, "Stream write error\nWriting " + path + ": file too large / 2 records / ok");

    // The failed append left nothing behind: the archive is the original plus the small entry.
    TRawKVBFile f(path);
    ASSERT_EQ(f.DataCount(), 3);
    EXPECT_EQ(f.GetDataRecord(2).Position, 3870);
    EXPECT_EQ(f.GetDataRecord(2).Length, 100);
    EXPECT_EQ(f.Description(), "FINAL FANTASY7");
    EXPECT_EQ(ReadFile(path).substr(0, 3870), original.substr(0, 3870));
}

// A real full file system, where writes fail with ENOSPC: a small tmpfs in a private mount.
TEST(FullDisk, EveryWriterSaysWhyAndOnWhichFileAndKeepsWhatStoodThere)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    const fs::path src = dir.Path() / "src";
    fs::create_directory(src);
    ArchiveBuilder b;
    for (int i = 0; i < 8; ++i) {
        std::string name = "FILE" + std::to_string(i) + ".BIN";
        b.Add(name, PatternBytes(64 << 10, unsigned(i)));
        WriteFile(src / name, PatternBytes(64 << 10, unsigned(i)));
    }
    WriteFile(path, b.Build());
    WriteFile(dir / "KVB.8", StandardValidation());
    const std::string small = dir / "small";
    fs::create_directory(small);

    std::string result = RunInChild([&]() -> std::string {
        if (std::string why = PrivateMounts(); !why.empty())
            return "skip: " + why;
        if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=200k") != 0)
            return "skip: no tmpfs mount here";
        RunResult all = RunKvb(dir, {"extract-all", path, small + "/out"});
        int complete = 0;
        for (int i = 0; i < 8; ++i) {
            std::string file = small + "/out/FILE" + std::to_string(i) + ".BIN";
            if (fs::exists(file) && ReadFile(file) == PatternBytes(64 << 10, unsigned(i)))
                ++complete;
        }
        fs::remove_all(small + "/out");

        const std::string target = small + "/kept.kvb";
        WriteFile(target, "kept");
        RunResult create =
            RunKvb(dir, {"create", src.string(), target, "--templates", dir.Path().string()});
        int left = 0;
        for ([[maybe_unused]] const auto &entry : fs::directory_iterator(small))
            ++left;
        const std::string kept = ReadFile(target);
        fs::remove(target);

        // An archive that fits, then an append and a replacement that do not.
        const std::string archive = small + "/G.KVB";
        const std::string fits = ArchiveBuilder().Add("A.BIN", PatternBytes(40 << 10, 1)).Build();
        WriteFile(archive, fits);
        const std::string big = dir / "BIG.BIN";
        WriteFile(big, PatternBytes(180 << 10, 3));
        RunResult append = RunKvb(dir, {"append", archive, big});
        const bool appendKept = ReadFile(archive) == fits;
        RunResult replace = RunKvb(dir, {"replace", archive, "1", big});
        const bool replaceKept = ReadFile(archive) == fits;
        return std::to_string(all.exitCode) + " " + all.err + std::to_string(complete) + "\n" +
               std::to_string(create.exitCode) + " " + create.err + kept + " " + std::to_string(left) +
               "\n" + std::to_string(append.exitCode) + " " + append.err + std::to_string(appendKept) +
               "\n" + std::to_string(replace.exitCode) + " " + replace.err + std::to_string(replaceKept);
    });
    if (result.rfind("skip: ", 0) == 0)
        GTEST_SKIP() << result;
    // 200 KiB cannot take eight files of 64 KiB: extract-all says so before it writes any.
    // The archive does not fit either: the old one stays, and no partial file is left beside it.
    const std::string refused = "1 kvb: Not enough room in " + small +
                                "/out: extracting every entry needs 524288 bytes, and ";
    EXPECT_EQ(result.substr(0, refused.size()), refused) << result;
    // Each failure on the full file system gives the system's reason and the file it wrote, and
    // leaves the archive as it was.
    const std::string full = ": no space left on device\n";
    const std::string rest = result.substr(result.find(" bytes are free\n"));
    EXPECT_EQ(rest, " bytes are free\n0\n1 kvb: Stream write error: Writing " + small + "/kept.kvb" +
                        full + "kept 1\n1 kvb: Stream write error: Writing " + small + "/G.KVB" + full +
                        "1\n1 kvb: Stream write error: Writing " + small + "/G.KVB" + full + "1");
}

TEST(ReadOnlyPlace, ArchiveIsReadAndExtractedButNotEditedOrReplaced)
{
    TempDir dir, out;
    const std::string folder = dir / "ro";
    fs::create_directory(folder);
    const std::string path = folder + "/a.kvb";
    const std::string bytes = TwoEntryArchive();
    WriteFile(path, bytes);
    WriteFile(dir / "KVB.1", StandardValidation());

    std::string result = RunInChild([&]() -> std::string {
        if (std::string why = MountReadOnly(folder); !why.empty())
            return "skip: " + why;
        std::string text;
        text += Outcome([&] { TKVBFile(path, true).GetEntry(1); }) + "\n";
        text += Outcome([&] {
                    TFileStream source(path, TFileStream::Mode::OpenRead);
                    ExtractEntry(source, TKVBFile(path, false).GetEntry(1), out / "second.bin");
                }) +
                "\n";
        text += Outcome([&] { TRawKVBFile f(path); }) + "\n";
        text += Outcome([&] {
                    TFileStream source(path, TFileStream::Mode::OpenRead);
                    ExtractEntry(source, TKVBFile(path, false).GetEntry(0), folder + "/first.bin");
                }) +
                "\n";
        text += Outcome([&] {
            CreateArchive(out.Path().string(), path, {dir.Path().string()},
                          [](const std::string &a, const std::string &b) { return a.compare(b); });
        });
        return text;
    });
    if (result.rfind("skip: ", 0) == 0)
        GTEST_SKIP() << result;
    EXPECT_EQ(result, "ok\nok\nCannot open file " + path +
                          ": the file system is read-only\nCannot create file " + folder +
                          "/first.bin: the file system is read-only\nCannot create file " + path +
                          ": it is read-only");
    EXPECT_EQ(ReadFile(out / "second.bin"), bytes.substr(3820, 50));
    EXPECT_EQ(ReadFile(path), bytes);
}

// A disc image or a read-only share of an archive whose edit was cut short when it was copied:
// it cannot be put right where it is, and the reader says so and how to repair a copy, instead
// of pointing at an editor that cannot open it.
TEST(ReadOnlyPlace, AHalfEditedArchiveThereIsExplainedWithHowToRepairACopy)
{
    if (!HaveStrace())
        GTEST_SKIP() << "strace is not installed";
    TempDir dir, logs;
    const std::string folder = dir / "ro";
    fs::create_directory(folder);
    const std::string path = folder + "/G.KVB";
    WriteFile(path, TwoEntryArchive());
    WriteFile(dir / "NEW.BIN", PatternBytes(20000, 9));
    // Killed before its fourth write (the description), with the header and data written.
    const TracedRun cut =
        RunTraced({"-o", "/dev/null", "-e", "trace=pwrite64", "-e", "inject=pwrite64:signal=KILL:when=4"},
                  {"append", path, dir / "NEW.BIN"}, logs.Path().string());
    ASSERT_NE(cut.exitCode, 0);
    const std::string half = ReadFile(path);

    const std::string result = RunInChild([&]() -> std::string {
        if (std::string why = MountReadOnly(folder); !why.empty())
            return "skip: " + why;
        return Outcome([&] { TKVBFile(path, true); }) + "\n" + RunKvb(dir, {"list", path}).err;
    });
    if (result.rfind("skip: ", 0) == 0)
        GTEST_SKIP() << result;
    const std::string message =
        "Archive " + path +
        " has an edit (append) that was not finished: it was being "
        "edited when it was copied or mounted where it is now, and it cannot be put "
        "right there (the file system is read-only). Copy G.KVB together with "
        ".G.KVB.kvb-journal beside it into a folder you can write, and open the copy "
        "for editing (Advanced... or kvb raw), which undoes that edit";
    EXPECT_EQ(result, message + "\nkvb: " + message + "\n");
    EXPECT_TRUE(ReadFile(path) == half);

    // And so it is, in a copy.
    fs::create_directory(dir / "copy");
    fs::copy(path, dir / "copy/G.KVB");
    fs::copy(folder + "/.G.KVB.kvb-journal", dir / "copy/.G.KVB.kvb-journal");
    EXPECT_EQ(RunKvb(dir, {"raw", dir / "copy/G.KVB"}).exitCode, 0);
    EXPECT_EQ(ReadFile(dir / "copy/G.KVB"), TwoEntryArchive());
}

TEST(SecondEditor, AnotherProcessIsRefusedWhileOneEditsButReadersAreNot)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    WriteFile(path, TwoEntryArchive());
    auto tryBoth = [&] {
        return RunInChild([&] {
            return Outcome([&] { TRawKVBFile f(path); }) + " / " + Outcome([&] { TKVBFile(path, true); });
        });
    };
    {
        TRawKVBFile editor(path);
        EXPECT_EQ(tryBoth(), "Cannot open file " + path + ": another program is editing it / ok");
    }
    EXPECT_EQ(tryBoth(), "ok / ok");
}

TEST(Paths, SpacesAndCharactersBeyondAsciiWorkInTheLibraryAndTheTool)
{
    TempDir dir;
    const fs::path folder = dir.Path() / "Spiele mit Leerzeichen" / "Ärger über ß";
    fs::create_directories(folder);
    const std::string path = (folder / "Große Datei 名前.kvb").string();
    // Archive names are Windows-1252: "CAFÉ.TXT" holds the byte 0xC9.
    const std::string text = "caf\xC3\xA9 au lait";
    WriteFile(path, ArchiveBuilder().Add("CAF\xC9.TXT", text).Add("PLAIN.BIN", "x").Build());

    TKVBFile catalogue(path, true);
    EXPECT_EQ(catalogue.FileName(), path);
    TFileStream source(path, TFileStream::Mode::OpenRead);
    ExtractEntry(source, catalogue.GetEntry(0), (folder / "Ausgabe é.bin").string());
    EXPECT_EQ(ReadFile(folder / "Ausgabe é.bin"), text);
    const std::string missing = (folder / "fehlt ö.kvb").string();
    EXPECT_EQ(Outcome([&] { TKVBFile(missing, false); }),
              "Cannot open file " + missing + ": it does not exist");

    const std::string input = (folder / "neue Datei ü.bin").string();
    WriteFile(input, "new");
    RunResult appended = RunKvb(dir, {"append", path, input});
    EXPECT_EQ(appended.exitCode, 0) << appended.err;
    {
        TRawKVBFile f(path);
        ASSERT_EQ(f.DataCount(), 3);
        EXPECT_EQ(NameFromField(f.GetDataRecord(2).Name), "neue Datei \xFC.bin");
    }

    const std::string target = (folder / "Ziel Ordner ñ").string();
    RunResult all = RunKvb(dir, {"extract-all", path, target});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(ReadFile(fs::path(target) / "CAFÉ.TXT"), text);
    EXPECT_EQ(ReadFile(fs::path(target) / "PLAIN.BIN"), "x");

    // And back: a new archive of the extracted files, from and to such paths.
    const fs::path templates = folder / "Vorlagen für KVB";
    fs::create_directory(templates);
    WriteFile(templates / "KVB.2", StandardValidation());
    const std::string created = (folder / "Neu erstellt ö.kvb").string();
    RunResult create = RunKvb(dir, {"create", target, created, "--templates", templates.string()});
    EXPECT_EQ(create.exitCode, 0) << create.err;
    RunResult analyse = RunKvb(dir, {"analyse", created});
    EXPECT_EQ(analyse.exitCode, 0) << analyse.err;
    EXPECT_NE(analyse.out.find("File: Neu erstellt ö.kvb\n"), std::string::npos) << analyse.out;
    EXPECT_EQ(TKVBFile(created, false).GetEntry(0).Name, "CAF\xC9.TXT");
}

TEST(HostileRegistry, PipesAndDevicesPlantedAsRegistryFilesArePassedOver)
{
    TempDir home, wine;
    // A pipe as the Wine prefix's registry, as the native Steam's library list, and as the
    // registry of a Proton prefix of it; the game's key is in a Proton prefix of Flatpak's Steam.
    ASSERT_EQ(::mkfifo((wine / "system.reg").c_str(), 0600), 0);
    const std::string native = home / ".steam/steam/steamapps";
    fs::create_directories(native + "/compatdata/1/pfx");
    ASSERT_EQ(::mkfifo((native + "/libraryfolders.vdf").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((native + "/compatdata/1/pfx/system.reg").c_str(), 0600), 0);
    const std::string flatpak = home / ".var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps";
    // The endless device as a library list and a registry comes first there.
    fs::create_directories(flatpak + "/compatdata/2/pfx");
    fs::create_symlink("/dev/zero", flatpak + "/libraryfolders.vdf");
    fs::create_symlink("/dev/zero", flatpak + "/compatdata/2/pfx/system.reg");
    const std::string pfx = flatpak + "/compatdata/39140/pfx";
    fs::create_directories(pfx);
    WriteFile(pfx + "/system.reg", kGameKey);

    RunResult r = GameFolder(home, home.Path().string(), wine.Path().string());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, pfx + "/dosdevices/c:/Games/FF7/data\n(from " + pfx + "/system.reg)\n");

    // With nothing usable anywhere, the search says where it looked.
    fs::remove(pfx + "/system.reg");
    r = GameFolder(home, home.Path().string(), wine.Path().string());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(
        r.err.rfind("kvb: The game's install folder is recorded in none of these registry files:\n  " +
                        wine / "system.reg",
                    0),
        0u)
        << r.err;
}

TEST(HostileRegistry, AHugeRegistryWithoutLineBreaksIsReadOnlyInPart)
{
    TempDir home, wine;
    // 1 GiB without a line break (a hole, where the system allows), then the game's key.
    const std::string reg = wine / "system.reg";
    WriteFile(reg, "");
    fs::resize_file(reg, uintmax_t(1) << 30);
    {
        std::FILE *f = std::fopen(reg.c_str(), "ab");
        ASSERT_NE(f, nullptr);
        std::fputs(("\n" + kGameKey).c_str(), f);
        std::fclose(f);
    }
    RunResult r = GameFolder(home, home.Path().string(), wine.Path().string());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: The game's install folder is recorded in none of these registry files:\n  " +
                         reg + "\n");
}
