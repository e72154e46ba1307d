#include "platform/win32/WindowEvents.h"

#include <windows.h>

#include <exception>

#include "platform/SystemError.h"
#include "platform/win32/Handles.h"

namespace platform::win32 {

namespace {

constexpr DWORD kTickMilliseconds = 100;

struct Work {
    const std::function<void()>& run;
    std::exception_ptr failure;
};

DWORD WINAPI RunWork(void* context) {
    auto* work = static_cast<Work*>(context);
    try {
        work->run();
    } catch (...) {
        work->failure = std::current_exception();
    }
    return 0;
}

}  // namespace

bool DeliverPendingEvents() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Not ours to consume: the message loop must still see it.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return true;
}

void RunAnswering(const std::function<void()>& work, const std::function<void()>& tick) {
    Work state{work, nullptr};
    UniqueHandle thread(::CreateThread(nullptr, 0, RunWork, &state, 0, nullptr));
    if (!thread) throw SystemError("Não foi possível iniciar a cópia do arquivo", ::GetLastError());
    // Whatever happens here, the work, which uses this frame, has ended
    // before the frame goes.
    const struct Joined {
        HANDLE thread;
        ~Joined() { ::WaitForSingleObject(thread, INFINITE); }
    } joined{thread.get()};
    // After a request to quit only the work is awaited: the request stays
    // posted, and would wake the wait at once, again and again.
    bool answering = true;
    ULONGLONG lastTick = ::GetTickCount64();
    for (;;) {
        const HANDLE handles[] = {thread.get()};
        const DWORD woke = answering
                               ? ::MsgWaitForMultipleObjectsEx(1, handles, kTickMilliseconds,
                                                               QS_ALLINPUT, MWMO_INPUTAVAILABLE)
                               : ::WaitForSingleObject(thread.get(), kTickMilliseconds);
        if (woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_FAILED) answering = false;
        if (answering && woke == WAIT_OBJECT_0 + 1) answering = DeliverPendingEvents();
        if (::GetTickCount64() - lastTick >= kTickMilliseconds) {
            lastTick = ::GetTickCount64();
            tick();
        }
    }
    tick();
    if (state.failure) std::rethrow_exception(state.failure);
}

}  // namespace platform::win32
