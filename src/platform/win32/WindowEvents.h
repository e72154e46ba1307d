#pragma once

#include <functional>

// How long work is done without the windows of the program looking hung:
// the system calls a window that has not taken its messages for five
// seconds "not responding", and offers to end the program.
namespace platform::win32 {

// Lets the window system deliver what is pending for this thread (paints,
// input, messages sent by other programs). A request to quit is left for
// the message loop; false when one was seen.
bool DeliverPendingEvents();

// Runs `work` on a thread of its own and returns when it has ended, letting
// this thread's window events through meanwhile and calling `tick` on this
// thread about every tenth of a second and once at the end. What `work`
// throws is thrown again here. Throws platform::SystemError when no thread
// can be made.
void RunAnswering(const std::function<void()>& work, const std::function<void()>& tick);

}  // namespace platform::win32
