#include "win32ui/file_drag.h"

#include "platform/win32/wide.h"

#include <ole2.h>
#include <shlobj.h>

#include <cstring>

namespace kvb::win32ui {

namespace {

// The shell's file list: a DROPFILES header, then each path in UTF-16 ending in a NUL, and one
// NUL more.
HGLOBAL FileList(const std::vector<std::string> &paths)
{
    std::wstring names;
    for (const std::string &path : paths)
        names += win32::Wide(path) + L'\0';
    names += L'\0';
    const size_t bytes = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GHND, bytes);
    if (!memory)
        return nullptr;
    auto *list = static_cast<DROPFILES *>(::GlobalLock(memory));
    list->pFiles = sizeof(DROPFILES);
    list->fWide = TRUE;
    std::memcpy(reinterpret_cast<char *>(list) + sizeof(DROPFILES), names.data(),
                names.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    return memory;
}

bool IsFileList(const FORMATETC &format)
{
    return format.cfFormat == CF_HDROP && (format.tymed & TYMED_HGLOBAL) &&
           format.dwAspect == DVASPECT_CONTENT;
}

// Holds one format, the file list, and hands out a copy of it for each GetData.
class TFileDropData final : public IDataObject {
public:
    explicit TFileDropData(const std::vector<std::string> &paths) : paths_(paths) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDataObject) {
            *object = static_cast<IDataObject *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC *format, STGMEDIUM *medium) override
    {
        if (!IsFileList(*format))
            return DV_E_FORMATETC;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = FileList(paths_);
        medium->pUnkForRelease = nullptr;
        return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC *, STGMEDIUM *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC *format) override
    {
        return IsFileList(*format) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC *, FORMATETC *out) override
    {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC *, STGMEDIUM *, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC **formats) override
    {
        if (direction != DATADIR_GET)
            return E_NOTIMPL;
        FORMATETC list{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return ::SHCreateStdEnumFmtEtc(1, &list, formats);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC *, DWORD, IAdviseSink *, DWORD *) override
    {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA **) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    virtual ~TFileDropData() = default;
    std::vector<std::string> paths_;
    ULONG references_ = 1;
};

// Drops where the left button is let go, gives up on Escape; the system draws the cursors.
class TDropSource : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDropSource) {
            *object = static_cast<IDropSource *>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the stack of the drag.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override
    {
        if (escape)
            return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

} // namespace

IDataObject *MakeFileDropData(const std::vector<std::string> &paths)
{
    return new TFileDropData(paths);
}

void DragFilesOut(const std::vector<std::string> &paths)
{
    IDataObject *data = MakeFileDropData(paths);
    TDropSource source;
    DWORD effect = DROPEFFECT_NONE;
    ::DoDragDrop(data, &source, DROPEFFECT_COPY, &effect);
    data->Release();
}

} // namespace kvb::win32ui
