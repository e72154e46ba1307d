#include "app/win32/CommonControls.h"

#include "platform/SystemError.h"
#include "platform/win32/DllSearch.h"

namespace app::win32::comctl {

namespace {

struct Functions {
    decltype(&::InitCommonControlsEx) init = nullptr;
    decltype(&::SetWindowSubclass) setSubclass = nullptr;
    decltype(&::RemoveWindowSubclass) removeSubclass = nullptr;
    decltype(&::DefSubclassProc) defSubclassProc = nullptr;
};

Functions loaded;

template <typename Fn>
void Resolve(HMODULE module, Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    if (!fn)
        throw platform::SystemError(
            std::string("Não foi possível encontrar ") + name + " em comctl32.dll",
            ::GetLastError());
}

[[noreturn]] void NotLoaded() {
    throw platform::SystemError("Os controles comuns do Windows não foram carregados",
                                ERROR_MOD_NOT_FOUND);
}

}  // namespace

void Load() {
    const HMODULE module = platform::win32::LoadSystemDll(L"comctl32.dll");
    if (!module)
        throw platform::SystemError("Não foi possível carregar comctl32.dll", ::GetLastError());
    Functions f;
    Resolve(module, f.init, "InitCommonControlsEx");
    Resolve(module, f.setSubclass, "SetWindowSubclass");
    Resolve(module, f.removeSubclass, "RemoveWindowSubclass");
    Resolve(module, f.defSubclassProc, "DefSubclassProc");
    loaded = f;
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    loaded.init(&controls);
}

BOOL SetWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
    if (!loaded.setSubclass) NotLoaded();
    return loaded.setSubclass(window, proc, id, data);
}

BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id) {
    if (!loaded.removeSubclass) NotLoaded();
    return loaded.removeSubclass(window, proc, id);
}

LRESULT DefSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!loaded.defSubclassProc) NotLoaded();
    return loaded.defSubclassProc(window, message, wParam, lParam);
}

}  // namespace app::win32::comctl
