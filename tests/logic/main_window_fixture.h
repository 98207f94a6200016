// The main window with a scripted face and a folder of its own, and the steps its tests take
// again and again: open an archive, choose a block, select the row of an entry.
#pragma once

#include "archive/catalogue.h"
#include "logic/scripted_face.h"
#include "platform/stream.h"
#include "support/archive_builder.h"

#include <string>
#include <vector>

namespace kvb::test {

using Lines = std::vector<std::string>;

struct Main : ScriptedWindows {
    TempDir dir;
    ScriptedMainView &v = mainView;

    std::string Write(const std::string &name, const std::string &bytes)
    {
        WriteFile(dir / name, bytes);
        return dir / name;
    }
    void Open(const std::string &path)
    {
        dialogs.files.push_back(path);
        Do([&] { main.btnOpenClick(); });
    }
    void ChooseBlock(int block)
    {
        v.chosenLabel = block;
        Do([&] { main.cmbListChange(); });
    }
    // Selects the row that stands for record index, choosing its block first.
    void Select(int index)
    {
        ChooseBlock(index / logic::kBlockSize);
        v.selectedRow = index % logic::kBlockSize;
    }
    int SelectedIndex() const
    {
        return v.selectedRow < 0 ? -1 : v.selectedRow + v.chosenLabel * logic::kBlockSize;
    }
    // The bytes of entry index of the archive at path, as a full read finds them.
    static std::string Entry(const std::string &path, int index)
    {
        const TKVBFile catalogue(path, true);
        const TKVB_Entry entry = catalogue.GetEntry(index);
        TFileStream source(path, TFileStream::Mode::OpenRead);
        std::string bytes(size_t(entry.Length), '\0');
        source.Seek(int64_t(entry.Offset) + 24);
        source.ReadBuffer(bytes.data(), entry.Length);
        return bytes;
    }
};

} // namespace kvb::test
