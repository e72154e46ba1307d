#pragma once

#include "platform/HeldFile.h"

namespace platform::win32 {

// Whether `file` is the file this process was started from, judged by the
// image the system loaded to run it (see RunningImage.cpp). False when the
// file cannot be read.
bool IsRunningImage(HeldFile& file);

}  // namespace platform::win32
