#pragma once

#include <windows.h>

#include <utility>

// Owners for Win32 handles: each closes its handle exactly once, when it goes
// out of scope. Move-only.
namespace platform::win32 {

template <typename T, typename Traits>
class Owner {
  public:
    Owner() noexcept = default;
    explicit Owner(T handle) noexcept : handle_(handle) {}
    ~Owner() { reset(); }

    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : handle_(other.release()) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return Traits::valid(handle_); }

    // For APIs that hand the handle back through an out parameter; whatever
    // was owned before is closed first.
    T* put() noexcept {
        reset();
        return &handle_;
    }

    T release() noexcept { return std::exchange(handle_, Traits::empty()); }

    void reset(T handle = Traits::empty()) noexcept {
        T old = std::exchange(handle_, handle);
        if (Traits::valid(old)) Traits::close(old);
    }

  private:
    T handle_ = Traits::empty();
};

// Kernel handles (files, processes, threads, events). Both null and
// INVALID_HANDLE_VALUE mean "none", since CreateFile and the others disagree.
struct KernelHandleTraits {
    static HANDLE empty() noexcept { return nullptr; }
    static bool valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
using UniqueHandle = Owner<HANDLE, KernelHandleTraits>;

struct RegistryKeyTraits {
    static HKEY empty() noexcept { return nullptr; }
    static bool valid(HKEY h) noexcept { return h != nullptr; }
    static void close(HKEY h) noexcept { ::RegCloseKey(h); }
};
using UniqueKey = Owner<HKEY, RegistryKeyTraits>;

// FindFirstFile handles are closed with FindClose, not CloseHandle.
struct FindHandleTraits {
    static HANDLE empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::FindClose(h); }
};
using UniqueFind = Owner<HANDLE, FindHandleTraits>;

// Memory the system allocated for the caller with LocalAlloc (security
// descriptors made from their text, for one).
struct LocalMemoryTraits {
    static HLOCAL empty() noexcept { return nullptr; }
    static bool valid(HLOCAL h) noexcept { return h != nullptr; }
    static void close(HLOCAL h) noexcept { ::LocalFree(h); }
};
using UniqueLocal = Owner<HLOCAL, LocalMemoryTraits>;

// Pens, brushes, bitmaps, fonts, regions. Deselect before the owner dies.
struct GdiObjectTraits {
    static HGDIOBJ empty() noexcept { return nullptr; }
    static bool valid(HGDIOBJ h) noexcept { return h != nullptr; }
    static void close(HGDIOBJ h) noexcept { ::DeleteObject(h); }
};
using UniqueGdiObject = Owner<HGDIOBJ, GdiObjectTraits>;

// Memory device contexts from CreateCompatibleDC / CreateDC.
struct MemoryDcTraits {
    static HDC empty() noexcept { return nullptr; }
    static bool valid(HDC h) noexcept { return h != nullptr; }
    static void close(HDC h) noexcept { ::DeleteDC(h); }
};
using UniqueMemoryDc = Owner<HDC, MemoryDcTraits>;

// A window's device context from GetDC / GetWindowDC, given back with
// ReleaseDC on the same window.
class WindowDc {
  public:
    explicit WindowDc(HWND window, bool wholeWindow = false) noexcept
        : window_(window), dc_(wholeWindow ? ::GetWindowDC(window) : ::GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

  private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(::SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace platform::win32
