#include "shell_listing.h"

#include "com_ref.h"

#include "setupkit/strings.h"

#include <shlobj.h>

namespace {

// {00021400-0000-0000-C000-000000000046}, the shell's desktop folder; not in every SDK's headers.
const CLSID kShellDesktopClass = {0x00021400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// An answer other than "no item" counts as listed.
HRESULT list_first_item(const wchar_t* path, IMalloc* allocator, bool* listed)
{
    ComRef<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.put())) || !desktop.get())
        return E_FAIL;
    // The shell's string arguments are plain wide strings, no BSTR: taking none keeps the OLE
    // automation library from loading at all. The name is a copy as the parser may write to it.
    wchar_t* display_name = concat_strings(1, path);
    ItemIdList<PIDLIST_RELATIVE> folder_id(allocator);
    desktop->ParseDisplayName(nullptr, nullptr, display_name, nullptr, folder_id.put(), nullptr);
    free_string(&display_name);
    if (!folder_id.get())
        return E_FAIL;
    ComRef<IShellFolder> folder;
    desktop->BindToObject(folder_id.get(), nullptr, IID_IShellFolder, folder.put_void());
    if (!folder.get())
        return E_FAIL;

    ComRef<IEnumIDList> items;
    const HRESULT status = folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, items.put());
    if (FAILED(status))
        return status;
    // Succeeding without an enumerator tells nothing about the folder: leave it alone.
    if (!items.get())
        return E_FAIL;
    ItemIdList<PITEMID_CHILD> item_id(allocator);
    *listed = items->Next(1, item_id.put(), nullptr) != S_FALSE;
    return S_OK;
}

} // namespace

HRESULT shell_lists_visible_item(const wchar_t* path, bool* listed)
{
    *listed = true;
    CoInitialize(nullptr);
    // Creating the desktop folder's class first reports a shell unusable in this apartment with its
    // own HRESULT; the folders walked below come from SHGetDesktopFolder.
    ComRef<IShellFolder> created;
    const HRESULT status =
        CoCreateInstance(kShellDesktopClass, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder, created.put_void());
    if (FAILED(status))
        return status;
    // Without the shell allocator the lists go back through the task allocator.
    ComRef<IMalloc> allocator;
    SHGetMalloc(allocator.put());
    return list_first_item(path, allocator.get(), listed);
}
